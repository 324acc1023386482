// Events and the closing of kernel handles.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Events, every_kind_of_unnamed_event_gets_its_own_handle_that_closes_once) {
    std::set<HANDLE> handles;
    for (BOOL manualReset : {FALSE, TRUE}) {
        for (BOOL initialState : {FALSE, TRUE}) {
            HANDLE event = CreateEventA(nullptr, manualReset, initialState, nullptr);
            EXPECT_NE(nullptr, event);
            EXPECT_NE(INVALID_HANDLE_VALUE, event);
            handles.insert(event);
        }
    }
    EXPECT_EQ(4u, handles.size());
    for (HANDLE event : handles) {
        EXPECT_TRUE(CloseHandle(event));
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(CloseHandle(event));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
}

TEST(Events, a_named_event_is_not_supported_and_only_the_process_pseudo_handle_closes_without_an_object) {
#ifndef _WIN32
    // Refusing names is the simulation's choice (kNamedEventError); Windows makes a shared event.
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(nullptr, CreateEventA(nullptr, FALSE, FALSE, "Local\\qvkelp"));
    EXPECT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
#endif
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), reinterpret_cast<HANDLE>(0x12345)}) {
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
    // The current process's pseudo handle closes without effect, and stays what it was.
    EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
}

} // namespace
