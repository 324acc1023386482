// The lab machine that hwconfig runs on by default must stay consistent: its alias file is keyed by
// the identity token that discovery computes for one of its boards.
#include "discovery_machine.h"

#include "enumeration/deviceMatchingToken.h"
#include "enumeration/tDeviceInterfaceIterator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace discoverytest;
using nQVOSALS100::tBasicString;
using nQVOSALS100::tDeviceInterfaceIterator;
using nQVOSALS100::tStatus;

namespace {

const std::string kExamples = std::string(QV_SOURCE_DIR) + "/examples/";

std::vector<std::string> identityTokensOfAllBoards(tStatus* status) {
    std::vector<std::string> tokens;
    tDeviceInterfaceIterator iterator(kBoardClass, status);
    for (; iterator.isValid() && !status->isFatal(); iterator.advance()) {
        tBasicString token;
        nQVOSALS100::buildPCIIdentityToken(iterator, token, status);
        tokens.emplace_back(token.c_str());
    }
    return tokens;
}

class LabMachine : public DiscoveryTest {};

} // namespace

TEST_F(LabMachine, every_board_has_an_identity_and_the_alias_file_names_one_of_them) {
    install(sim::loadMachineFile(kExamples + "lab.json"));
    tStatus status;
    const std::vector<std::string> tokens = identityTokensOfAllBoards(&status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(tokens, (std::vector<std::string>{
                          "PCI:VEN_1F2B&DEV_7A21&SUBSYS_1F2B7A21&REV_01/0000:00:E0:00:08:00",
                          "PCI:VEN_1F2B&DEV_7A22&SUBSYS_1F2B7A22&REV_01/0000:00:E0:00:10:00",
                          "PCI:VEN_1F2B&DEV_7A40&SUBSYS_1F2B7A40&REV_03/0000:00:E0:00:18:00",
                          "PCI:VEN_1F2B&DEV_7B10&SUBSYS_1F2B7B10&REV_02/0000:01:18:00",
                      }));

    std::ifstream aliases(kExamples + "drive_c/ProgramData/Quorvel/QV-KELP/aliases.json");
    std::stringstream text;
    text << aliases.rdbuf();
    EXPECT_NE(text.str().find("\"" + tokens[1] + "\""), std::string::npos);
}
