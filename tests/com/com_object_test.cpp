#include "com/CQVComObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace qvkelpsysapiexpert;

namespace {

struct ITestFirst : public IUnknown {
    virtual int STDMETHODCALLTYPE first() = 0;
};
struct ITestFirstExtended : public ITestFirst {
    virtual int STDMETHODCALLTYPE firstExtended() = 0;
};
struct ITestSecond : public IUnknown {
    virtual int STDMETHODCALLTYPE second() = 0;
};

constexpr IID IID_ITestFirst = {0x11111111, 0x1111, 0x1111, {1, 1, 1, 1, 1, 1, 1, 1}};
constexpr IID IID_ITestFirstExtended = {0x22222222, 0x2222, 0x2222, {2, 2, 2, 2, 2, 2, 2, 2}};
constexpr IID IID_ITestSecond = {0x33333333, 0x3333, 0x3333, {3, 3, 3, 3, 3, 3, 3, 3}};
constexpr IID IID_Unmapped = {0x44444444, 0x4444, 0x4444, {4, 4, 4, 4, 4, 4, 4, 4}};

// How the test objects behave; reset by each test.
struct tTestObjectControl {
    static inline bool failAllocation = false;
    static inline int constructorThrows = 0; // 0 none, 1 bad_alloc, 2 runtime_error
    static inline LONG countSeenByDestructor = -1;
    static inline std::atomic<int> destroyed{0};
    static void reset() {
        failAllocation = false;
        constructorThrows = 0;
        countSeenByDestructor = -1;
        destroyed = 0;
    }
};

class CTestObject : public virtual CQVComObjectRootEx<CQVComMultiThreadModelNoCS>,
                    public ITestFirstExtended,
                    public ITestSecond {
public:
    using tInterfaceMapOwner = CTestObject;
    static const tQVInterfaceEntry* interfaceMap() {
        static const tQVInterfaceEntry map[] = {
            qvInterfaceEntry<CTestObject, ITestFirst>(IID_ITestFirst),
            qvInterfaceEntry<CTestObject, ITestFirstExtended>(IID_ITestFirstExtended),
            qvInterfaceEntry<CTestObject, ITestSecond>(IID_ITestSecond),
            // A later row for an ID already mapped is never reached.
            qvInterfaceEntry<CTestObject, ITestFirst>(IID_ITestSecond),
            kQVInterfaceMapEnd,
        };
        return map;
    }

    static void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept {
        return tTestObjectControl::failAllocation ? nullptr : ::operator new(size, tag);
    }
    static void operator delete(void* memory) noexcept { ::operator delete(memory); }
    static void operator delete(void* memory, const std::nothrow_t&) noexcept { ::operator delete(memory); }

    CTestObject() {
        if (tTestObjectControl::constructorThrows == 1) {
            throw std::bad_alloc();
        }
        if (tTestObjectControl::constructorThrows == 2) {
            throw std::runtime_error("constructor failed");
        }
    }
    ~CTestObject() {
        tTestObjectControl::countSeenByDestructor = referenceCount;
        ++tTestObjectControl::destroyed;
    }

    int STDMETHODCALLTYPE first() override { return 1; }
    int STDMETHODCALLTYPE firstExtended() override { return 11; }
    int STDMETHODCALLTYPE second() override { return 2; }
};

using tTestComObject = CQVComObject<CTestObject>;

class ComObject : public ::testing::Test {
protected:
    void SetUp() override { tTestObjectControl::reset(); }

    // A new object holding one reference, reached through its first interface.
    ITestFirstExtended* createReferenced() {
        tTestComObject* object = nullptr;
        EXPECT_EQ(tTestComObject::CreateInstance(&object), S_OK);
        EXPECT_EQ(object->AddRef(), 1u);
        return object;
    }
};

IID iidWithWords(std::uint32_t w0, std::uint32_t w1, std::uint32_t w2, std::uint32_t w3) {
    const std::uint32_t words[4] = {w0, w1, w2, w3};
    IID iid;
    static_assert(sizeof words == sizeof iid);
    std::memcpy(&iid, words, sizeof iid); // the test machine is little-endian, as Windows is
    return iid;
}

} // namespace

TEST_F(ComObject, a_new_object_starts_with_a_count_of_zero_and_the_last_release_destroys_it) {
    ITestFirstExtended* object = createReferenced();
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(tTestObjectControl::destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(tTestObjectControl::destroyed, 1);
}

TEST_F(ComObject, each_interface_id_gives_its_own_pointer_and_any_pointer_answers_for_the_object) {
    ITestFirstExtended* object = createReferenced();
    void* first = nullptr;
    void* second = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_ITestFirst, &first), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_ITestSecond, &second), S_OK);
    EXPECT_EQ(first, static_cast<void*>(static_cast<ITestFirst*>(object)));
    EXPECT_EQ(static_cast<ITestFirst*>(first)->first(), 1);
    EXPECT_EQ(static_cast<ITestSecond*>(second)->second(), 2);

    auto* secondInterface = static_cast<ITestSecond*>(second);
    void* extended = nullptr;
    ASSERT_EQ(secondInterface->QueryInterface(IID_ITestFirstExtended, &extended), S_OK);
    EXPECT_EQ(extended, static_cast<void*>(object));
    EXPECT_EQ(static_cast<ITestFirstExtended*>(extended)->firstExtended(), 11);
    void* identity = nullptr;
    ASSERT_EQ(secondInterface->QueryInterface(IID_IUnknown, &identity), S_OK);
    EXPECT_EQ(identity, first);

    // Every hit took a reference on the one shared count.
    EXPECT_EQ(secondInterface->AddRef(), 6u);
    for (int i = 0; i < 5; ++i) {
        secondInterface->Release();
    }
    EXPECT_EQ(tTestObjectControl::destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(tTestObjectControl::destroyed, 1);
}

TEST_F(ComObject, iunknown_is_recognised_in_both_forms_of_its_third_word_and_nothing_near_it) {
    EXPECT_TRUE(qvIsIUnknown(IID_IUnknown));
    EXPECT_TRUE(qvIsIUnknown(iidWithWords(0, 0, 0x000000C0u, 0x46000000u)));
    EXPECT_TRUE(qvIsIUnknown(iidWithWords(0, 0, 0x0000C000u, 0x46000000u)));
    EXPECT_FALSE(qvIsIUnknown(iidWithWords(0, 0, 0x0000C0C0u, 0x46000000u)));
    EXPECT_FALSE(qvIsIUnknown(iidWithWords(0, 0, 0x000000C0u, 0x00000046u)));
    EXPECT_FALSE(qvIsIUnknown(iidWithWords(1, 0, 0x000000C0u, 0x46000000u)));
    EXPECT_FALSE(qvIsIUnknown(iidWithWords(0, 0x10000, 0x000000C0u, 0x46000000u)));

    ITestFirstExtended* object = createReferenced();
    void* identity = nullptr;
    ASSERT_EQ(object->QueryInterface(iidWithWords(0, 0, 0x0000C000u, 0x46000000u), &identity), S_OK);
    EXPECT_EQ(identity, static_cast<void*>(static_cast<ITestFirst*>(object)));
    static_cast<IUnknown*>(identity)->Release();
    object->Release();
}

TEST_F(ComObject, an_unmapped_interface_or_a_null_out_pointer_is_refused_without_a_reference) {
    ITestFirstExtended* object = createReferenced();
    void* result = &result;
    EXPECT_EQ(object->QueryInterface(IID_Unmapped, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_ITestFirst, nullptr), E_POINTER);
    EXPECT_EQ(tTestComObject::CreateInstance(nullptr), E_POINTER);
    EXPECT_EQ(object->Release(), 0u);
}

// A reference taken and dropped while the object is torn down must not start a second destruction.
TEST_F(ComObject, the_count_stands_at_one_while_the_object_is_destroyed) {
    ITestFirstExtended* object = createReferenced();
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(tTestObjectControl::countSeenByDestructor, 1);
}

TEST_F(ComObject, creation_failures_are_reported_as_results_not_exceptions) {
    tTestComObject* object = reinterpret_cast<tTestComObject*>(&object);
    tTestObjectControl::failAllocation = true;
    EXPECT_EQ(tTestComObject::CreateInstance(&object), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);

    tTestObjectControl::failAllocation = false;
    tTestObjectControl::constructorThrows = 1;
    EXPECT_EQ(tTestComObject::CreateInstance(&object), E_OUTOFMEMORY);
    EXPECT_EQ(object, nullptr);
    tTestObjectControl::constructorThrows = 2;
    EXPECT_EQ(tTestComObject::CreateInstance(&object), E_FAIL);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ComObject, concurrent_references_from_several_threads_keep_the_count_exact) {
    ITestFirstExtended* object = createReferenced();
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([object] {
            for (int i = 0; i < kRounds; ++i) {
                object->AddRef();
                object->Release();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(tTestObjectControl::destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(tTestObjectControl::destroyed, 1);
}
