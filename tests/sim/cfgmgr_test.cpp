// The configuration manager's device tree: CM_Get_Parent, CM_Get_Child, CM_Get_Sibling and
// CM_Get_Device_IDA. They report through CONFIGRET and leave the last error alone.
#include "board_machine.h"

#include <cstring>

using namespace simtest;

namespace {

class DeviceTree : public BoardMachineTest {
protected:
    // The DEVINST of a device, found as a program finds it: through a device information set.
    DEVINST devInstOf(const std::string& id) {
        ScopedSet set(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
        SP_DEVINFO_DATA deviceInfo = emptyDeviceInfo();
        EXPECT_TRUE(SetupDiOpenDeviceInfoA(set.get(), id.c_str(), nullptr, 0, &deviceInfo)) << id;
        return deviceInfo.DevInst;
    }

    static std::string idOf(DEVINST devInst) {
        char buffer[MAX_DEVICE_ID_LEN];
        const CONFIGRET result = CM_Get_Device_IDA(devInst, buffer, sizeof buffer, 0);
        return result == CR_SUCCESS ? std::string(buffer) : "(CONFIGRET " + std::to_string(result) + ")";
    }
};

} // namespace

TEST_F(DeviceTree, parents_lead_from_a_board_to_the_root_which_has_none) {
    DEVINST at = devInstOf(kBoardA);
    std::vector<std::string> chain;
    for (;;) {
        DEVINST parent = 0xDEADBEEF;
        SetLastError(0xDEADBEEF);
        const CONFIGRET result = CM_Get_Parent(&parent, at, 0);
        EXPECT_EQ(GetLastError(), 0xDEADBEEF);
        if (result != CR_SUCCESS) {
            EXPECT_EQ(result, CR_NO_SUCH_DEVNODE);
            EXPECT_EQ(parent, 0u);
            break;
        }
        chain.push_back(idOf(parent));
        at = parent;
    }
    EXPECT_EQ(chain,
              (std::vector<std::string>{kRootPortId, kHostBridgeId, kAcpiId, kHalId, "HTREE\\ROOT\\0"}));
}

TEST_F(DeviceTree, children_come_in_description_order_and_absent_devices_are_not_in_the_tree) {
    DEVINST child = 0;
    ASSERT_EQ(CM_Get_Child(&child, devInstOf(kAcpiId), 0), CR_SUCCESS);
    std::vector<std::string> children{idOf(child)};
    DEVINST sibling = 0;
    while (CM_Get_Sibling(&sibling, child, 0) == CR_SUCCESS) {
        children.push_back(idOf(sibling));
        child = sibling;
    }
    EXPECT_EQ(sibling, 0u);
    EXPECT_EQ(children, (std::vector<std::string>{kHostBridgeId, kButtonId, kSecondBridgeId}));

    ASSERT_EQ(CM_Get_Child(&child, devInstOf(kSecondBridgeId), 0), CR_SUCCESS);
    EXPECT_EQ(idOf(child), kBoardC);

    ASSERT_EQ(CM_Get_Child(&child, devInstOf("HTREE\\ROOT\\0"), 0), CR_SUCCESS);
    EXPECT_EQ(idOf(child), kHalId);
    ASSERT_EQ(CM_Get_Sibling(&sibling, child, 0), CR_SUCCESS);
    EXPECT_EQ(idOf(sibling), kLegacyId);
}

TEST_F(DeviceTree, a_leaf_has_no_child_and_the_root_no_sibling) {
    DEVINST result = 0xDEADBEEF;
    EXPECT_EQ(CM_Get_Child(&result, devInstOf(kBoardA), 0), CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(result, 0u);
    result = 0xDEADBEEF;
    EXPECT_EQ(CM_Get_Sibling(&result, devInstOf("HTREE\\ROOT\\0"), 0), CR_NO_SUCH_DEVNODE);
    EXPECT_EQ(result, 0u);
    // A device that is not present still knows its parent.
    EXPECT_EQ(CM_Get_Parent(&result, devInstOf(kBoardB), 0), CR_SUCCESS);
    EXPECT_EQ(idOf(result), kSecondBridgeId);
}

TEST_F(DeviceTree, null_pointers_flags_and_unknown_devinsts_are_refused) {
    const DEVINST board = devInstOf(kBoardA);
    DEVINST result = 0xDEADBEEF;
    for (auto* walk : {&CM_Get_Parent, &CM_Get_Child, &CM_Get_Sibling}) {
        EXPECT_EQ(walk(nullptr, board, 0), CR_INVALID_POINTER);
        result = 0xDEADBEEF;
        EXPECT_EQ(walk(&result, board, 1), CR_INVALID_FLAG);
        EXPECT_EQ(result, 0u);
        for (const DEVINST unknown : {0u, 0xFFFFFFFFu}) {
            result = 0xDEADBEEF;
            EXPECT_EQ(walk(&result, unknown, 0), CR_INVALID_DEVNODE);
            EXPECT_EQ(result, 0u);
        }
    }
    char buffer[MAX_DEVICE_ID_LEN];
    EXPECT_EQ(CM_Get_Device_IDA(board, nullptr, 10, 0), CR_INVALID_POINTER);
    EXPECT_EQ(CM_Get_Device_IDA(board, buffer, sizeof buffer, 2), CR_INVALID_FLAG);
    EXPECT_EQ(CM_Get_Device_IDA(0, buffer, sizeof buffer, 0), CR_INVALID_DEVNODE);
}

TEST_F(DeviceTree, the_device_id_buffer_of_exactly_the_id_length_gets_no_nul_and_a_shorter_one_is_truncated) {
    const DEVINST board = devInstOf(kBoardA);
    const auto length = static_cast<ULONG>(kBoardA.size());
    char buffer[MAX_DEVICE_ID_LEN];

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CM_Get_Device_IDA(board, buffer, length + 1, 0), CR_SUCCESS);
    EXPECT_EQ(std::string(buffer), kBoardA);

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CM_Get_Device_IDA(board, buffer, length, 0), CR_SUCCESS);
    EXPECT_EQ(std::string(buffer, length), kBoardA);
    EXPECT_EQ(buffer[length], '#');

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(CM_Get_Device_IDA(board, buffer, 10, 0), CR_BUFFER_SMALL);
    EXPECT_EQ(std::string(buffer, 10), kBoardA.substr(0, 10));
    EXPECT_EQ(buffer[10], '#');
}

TEST_F(DeviceTree, a_devinst_names_the_same_device_after_the_description_is_rebuilt) {
    const DEVINST board = devInstOf(kBoardC);
    sim::Machine reordered;
    reordered.addDevice(kLegacyId);
    reordered.addDevice(kBoardC);
    sim::installMachine(reordered);
    EXPECT_EQ(idOf(board), kBoardC);
    EXPECT_EQ(devInstOf(kBoardC), board);
    DEVINST parent = 0;
    EXPECT_EQ(CM_Get_Parent(&parent, board, 0), CR_SUCCESS);
    EXPECT_EQ(idOf(parent), "HTREE\\ROOT\\0");
}
