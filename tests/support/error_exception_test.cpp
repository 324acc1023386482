#include "support/errorException.h"
#include "support/errorReport.h"

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <type_traits>

TEST(ErrorException, a_copy_takes_the_payload_over_from_its_source_even_a_const_one) {
    qverr::Exception source;
    qverr::reportError(source.status(), -52003, nullptr, "f.cpp", 1);
    const char* buffer = source.what();
    ASSERT_NE(buffer, nullptr);
    const qverr::Exception copy(source);
    EXPECT_EQ(copy.what(), buffer);
    EXPECT_EQ(copy.code(), -52003);
    EXPECT_EQ(source.what(), nullptr);

    const qverr::Exception second(copy);
    EXPECT_EQ(second.what(), buffer);
    EXPECT_EQ(copy.what(), nullptr);
}

TEST(ErrorException, an_exception_without_a_payload_answers_null_from_every_view) {
    const qverr::Exception exception;
    EXPECT_EQ(exception.what(), nullptr);
    EXPECT_EQ(static_cast<const std::exception&>(exception).what(), nullptr);
    EXPECT_EQ(static_cast<const qverr::ExceptionBase&>(exception).payloadText(), nullptr);
}

TEST(ErrorException, throw_if_failed_throws_errors_with_their_payload_and_lets_warnings_pass) {
    qverr::Status warning;
    warning.setCode(52011);
    EXPECT_NO_THROW(qverr::throwIfFailed(warning));

    qverr::Status failed;
    qverr::reportError(failed, -52006, nullptr, "f.cpp", 1, nullptr);
    try {
        qverr::throwIfFailed(failed);
        FAIL() << "nothing thrown";
    } catch (const qverr::ExceptionBase& e) {
        EXPECT_EQ(e.code(), -52006);
        EXPECT_STREQ(e.payloadText(), R"({"file":"f.cpp","line":1})");
    }
    EXPECT_EQ(failed.payload, nullptr) << "the payload went with the exception";
}

TEST(ErrorException, a_rethrown_exception_keeps_its_payload_for_the_next_catcher) {
    std::exception_ptr kept;
    try {
        try {
            qverr::Status failed;
            qverr::reportError(failed, -52008, nullptr, "f.cpp", 1, nullptr);
            qverr::throwIfFailed(failed);
        } catch (const qverr::Exception&) {
            kept = std::current_exception();
            throw;
        }
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), R"({"file":"f.cpp","line":1})");
    }
    try {
        std::rethrow_exception(kept);
    } catch (const qverr::ExceptionBase& e) {
        EXPECT_STREQ(e.payloadText(), R"({"file":"f.cpp","line":1})");
    }
}

namespace {
template <class T, class = void> struct CanBeMadeWithNew : std::false_type {};
template <class T> struct CanBeMadeWithNew<T, std::void_t<decltype(new T)>> : std::true_type {};
template <class T, class = void> struct CanBeMadeWithNewArray : std::false_type {};
template <class T> struct CanBeMadeWithNewArray<T, std::void_t<decltype(new T[2])>> : std::true_type {};
} // namespace

// Its destructor throws, so it may end only where a block ends, never by delete in a deleter that
// may not throw.
TEST(ErrorException, a_status_scope_lives_only_on_the_stack) {
    static_assert(!CanBeMadeWithNew<qverr::StatusScope>::value);
    static_assert(!CanBeMadeWithNewArray<qverr::StatusScope>::value);
    static_assert(CanBeMadeWithNew<qverr::Status>::value, "the check itself tells the two apart");
}

TEST(ErrorException, a_status_scope_throws_its_failure_when_it_ends) {
    const auto reportInScope = [](std::int32_t code) {
        qverr::StatusScope status;
        qverr::reportError(status, code, nullptr, "f.cpp", 1);
    };
    EXPECT_THROW(reportInScope(-52008), qverr::Exception);
    EXPECT_NO_THROW(reportInScope(52011));
}

namespace {
// Cleanup that reports into a scope of its own while another exception unwinds the stack.
struct ReportingCleanup {
    bool& caughtOwnFailure;
    ~ReportingCleanup() {
        try {
            qverr::StatusScope status;
            status.setCode(-52003);
        } catch (const qverr::Exception&) {
            caughtOwnFailure = true;
        }
    }
};
} // namespace

TEST(ErrorException, a_scope_left_by_another_exception_stays_quiet_but_one_inside_unwinding_throws) {
    bool cleanupCaughtOwnFailure = false;
    try {
        ReportingCleanup cleanup{cleanupCaughtOwnFailure};
        qverr::StatusScope status;
        status.setCode(-52008);
        throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
    EXPECT_TRUE(cleanupCaughtOwnFailure);
}
