// Events and the closing of kernel handles.
#include "scratch.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Events, every_kind_of_unnamed_event_gets_its_own_handle_that_closes_once) {
    std::set<HANDLE> handles;
    for (BOOL manualReset : {FALSE, TRUE}) {
        for (BOOL initialState : {FALSE, TRUE}) {
            SetLastError(0xDEADBEEF);
            HANDLE event = CreateEventA(nullptr, manualReset, initialState, nullptr);
            ASSERT_NE(nullptr, event);
            EXPECT_NE(INVALID_HANDLE_VALUE, event);
            handles.insert(event);
        }
    }
    EXPECT_EQ(4u, handles.size());
    for (HANDLE event : handles) {
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(CloseHandle(event));
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(CloseHandle(event));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
}

TEST(Events, a_named_event_is_not_supported) {
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, CreateEventA(nullptr, FALSE, FALSE, "Local\\qvkelp"));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
}

TEST(Events, an_injected_failure_makes_creation_fail_with_its_error) {
    simtest::ScratchFolder folder;
    simtest::ScopedMachine machine(folder, R"({ "faults": [ { "call": "CreateEventA", "error": 1450 } ] })");
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, CreateEventA(nullptr, FALSE, FALSE, nullptr));
    EXPECT_EQ(ERROR_NO_SYSTEM_RESOURCES, GetLastError());
}

TEST(Handles, closing_what_is_not_a_handle_fails_with_ERROR_INVALID_HANDLE) {
    for (HANDLE bad :
         {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x12345)}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
}

} // namespace
