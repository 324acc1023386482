#include "com/hostBoundary.h"

#include "hwsys/hwsys_errors.h"
#include "support/errorException.h"
#include "support/statusCodes.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

using namespace qvkelpsysapiexpert;
using nQVOSALS100::tStatus;

namespace {

void setCode(tStatus& status, std::int32_t code) {
    status.setCode(code, "test", "test.cpp", 1);
}

// Runs an operation whose body leaves `code` in its status and then throws `exception`.
template <class Exception> HRESULT failAfter(std::int32_t code, Exception exception) {
    return runHostOperation([&](tStatus& status) {
        setCode(status, code);
        throw exception;
    });
}

HRESULT completeWith(std::int32_t code) {
    return runHostOperation([code](tStatus& status) { setCode(status, code); });
}

} // namespace

TEST(HostBoundary, the_status_code_at_completion_is_mapped_by_the_status_table) {
    const struct {
        std::int32_t code;
        HRESULT expected;
    } rows[] = {
        {0, S_OK},
        {1, S_FALSE},
        {52011, S_FALSE},
        {-52000, E_OUTOFMEMORY},
        {-52002, E_NOTIMPL},
        {-52003, E_UNEXPECTED},
        {-52005, E_INVALIDARG},
        {-52007, HW_E_TIMEOUT},
        {-52026, HW_E_FILE_ACCESS_DENIED},
        {-1074097898, HW_E_CAL_PASSWORD_INVALID},
        {-1, E_FAIL},
        {-52006, E_FAIL},
        {INT32_MIN, E_FAIL},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(completeWith(row.code), row.expected) << "status code " << row.code;
    }
}

TEST(HostBoundary, a_clean_status_leaves_the_result_to_the_body_but_a_warning_or_error_overrides_it) {
    EXPECT_EQ(runHostOperation([](tStatus&) { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(runHostOperation([](tStatus&) { return HW_E_PROPERTY_NOT_FOUND; }), HW_E_PROPERTY_NOT_FOUND);
    EXPECT_EQ(runHostOperation([](tStatus& status) {
                  setCode(status, 7);
                  return S_OK;
              }),
              S_FALSE);
    EXPECT_EQ(runHostOperation([](tStatus& status) {
                  setCode(status, -52026);
                  return S_OK;
              }),
              HW_E_FILE_ACCESS_DENIED);
}

TEST(HostBoundary, standard_exceptions_map_by_their_dynamic_type_when_the_status_is_clean) {
    EXPECT_EQ(failAfter(0, std::bad_alloc()), E_OUTOFMEMORY);
    EXPECT_EQ(failAfter(0, std::bad_array_new_length()), E_OUTOFMEMORY);
    EXPECT_EQ(failAfter(0, std::invalid_argument("bad")), E_INVALIDARG);
    EXPECT_EQ(failAfter(0, std::logic_error("unrelated")), E_FAIL);
    EXPECT_EQ(failAfter(0, std::length_error("long")), E_FAIL);
    EXPECT_EQ(failAfter(0, std::runtime_error("unexpected return value from wcstombs()")), E_FAIL);
    // An error report without a payload answers null from what(): the boundary must not read it.
    EXPECT_EQ(failAfter(0, qverr::Exception()), E_FAIL);
    // A warning is not an error, so the exception still decides.
    EXPECT_EQ(failAfter(3, std::bad_alloc()), E_OUTOFMEMORY);
    EXPECT_EQ(failAfter(3, std::invalid_argument("bad")), E_INVALIDARG);
}

TEST(HostBoundary, an_error_already_in_the_status_wins_over_whatever_is_thrown_after_it) {
    EXPECT_EQ(failAfter(-52026, std::bad_alloc()), HW_E_FILE_ACCESS_DENIED);
    EXPECT_EQ(failAfter(-52005, std::runtime_error("x")), E_INVALIDARG);
    EXPECT_EQ(failAfter(-52000, std::invalid_argument("x")), E_OUTOFMEMORY);
    EXPECT_EQ(failAfter(-1074097898, tThrownHResult{static_cast<HRESULT>(0x80070005u)}),
              HW_E_CAL_PASSWORD_INVALID);
    EXPECT_EQ(failAfter(-52003, 42.0), E_UNEXPECTED);
    EXPECT_EQ(failAfter(-52006, std::string("text")), E_FAIL);
}

TEST(HostBoundary, a_thrown_hresult_is_returned_as_it_is_when_the_status_is_clean) {
    EXPECT_EQ(failAfter(0, tThrownHResult{static_cast<HRESULT>(0x80070005u)}),
              static_cast<HRESULT>(0x80070005u));
    EXPECT_EQ(failAfter(5, tThrownHResult{E_OUTOFMEMORY}), E_OUTOFMEMORY);
    EXPECT_EQ(runHostOperation([](tStatus&) { throwIfFailedHResult(HW_E_ALIAS_IN_USE); }), HW_E_ALIAS_IN_USE);
    // Success codes are not raised.
    EXPECT_EQ(runHostOperation([](tStatus&) {
                  throwIfFailedHResult(S_FALSE);
                  return S_OK;
              }),
              S_OK);
}

TEST(HostBoundary, anything_else_thrown_becomes_a_failure_unless_the_status_already_failed) {
    EXPECT_EQ(failAfter(0, 42.0), E_FAIL);
    EXPECT_EQ(failAfter(9, std::string("text")), E_FAIL);
    // Only throwHResult raises an HRESULT: an integer thrown otherwise, of any width, is anything else.
    EXPECT_EQ(failAfter(0, static_cast<HRESULT>(E_OUTOFMEMORY)), E_FAIL);
    EXPECT_EQ(failAfter(0, static_cast<long long>(S_FALSE)), E_FAIL);
    EXPECT_EQ(failAfter(-52007, 'c'), HW_E_TIMEOUT);
}

TEST(HostBoundary, pointer_arguments_are_checked_in_order_before_the_body_runs) {
    bool bodyRan = false;
    auto body = [&bodyRan](tStatus&) { bodyRan = true; };
    LONG first = 7;
    void* second = &first;
    int object = 0;

    EXPECT_EQ(runHostOperation(body, outArgument(&first), outArgument(static_cast<void**>(nullptr))),
              E_POINTER);
    EXPECT_FALSE(bodyRan);
    EXPECT_EQ(first, 0) << "an out argument is cleared as soon as it passes its check";

    first = 7;
    EXPECT_EQ(runHostOperation(body, outArgument(static_cast<LONG*>(nullptr)), outArgument(&second)),
              E_POINTER);
    EXPECT_EQ(second, static_cast<void*>(&first)) << "arguments after a null one are not touched";

    EXPECT_EQ(runHostOperation(body, outArgument(&second), requiredArgument(static_cast<int*>(nullptr))),
              E_POINTER);
    EXPECT_EQ(second, nullptr);
    EXPECT_FALSE(bodyRan);

    first = 7;
    second = &first;
    EXPECT_EQ(runHostOperation(
                  [&](tStatus& status) {
                      EXPECT_EQ(first, 0);
                      EXPECT_EQ(second, nullptr);
                      EXPECT_EQ(status.code, 0);
                      EXPECT_EQ(status.structSize, 208u);
                      bodyRan = true;
                  },
                  outArgument(&first), outArgument(&second), requiredArgument(&object)),
              S_OK);
    EXPECT_TRUE(bodyRan);
}
