// A machine whose drive C is a fresh temporary folder holding the alias file.
#pragma once

#include "platform/sim/device/machine.h"
#include "platform/win32.h"
#include "source/aliases/AliasStore.h"
#include "source/aliases/aliasJournal.h"
#include "support/cJSONUtils.h"
#include "support/status.h"

#include <gtest/gtest.h>

#include "common/host_platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline cJSONUtils::Tree recordWithAlias(const char* alias) {
    cJSONUtils::Tree record = cJSONUtils::createObject();
    cJSONUtils::addString(record.get(), "alias", alias);
    return record;
}

class AliasFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        drive_ = hostplatform::makeTemporaryFolder("aliasstore");
        std::filesystem::create_directories(aliasFile().parent_path());
        machine_.mapDrive('C', drive_.string());
        sim::installMachine(machine_);
    }

    void TearDown() override {
        sim::uninstallMachine();
        std::filesystem::remove_all(drive_);
    }

    std::filesystem::path aliasFile() const {
        return drive_ / "ProgramData" / "Quorvel" / "QV-KELP" / "aliases.json";
    }

    void writeAliasFile(const std::string& text) const {
        std::ofstream(aliasFile(), std::ios::binary | std::ios::trunc) << text;
    }

    std::string readAliasFile() const {
        std::ifstream in(aliasFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Whether another handle could take an exclusive lock on the file right now.
    bool aliasFileIsUnlocked() const {
        FILE* probe = platformOpenFile("C:\\ProgramData\\Quorvel\\QV-KELP\\aliases.json", "rb");
        if (probe == nullptr) {
            return false;
        }
        HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(probe)));
        OVERLAPPED overlapped{};
        const BOOL locked = LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                                       0xFFFFFFFFu, 0xFFFFFFFFu, &overlapped);
        if (locked) {
            UnlockFileEx(handle, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, &overlapped);
        }
        std::fclose(probe);
        return locked != FALSE;
    }

    std::filesystem::path drive_;
    sim::Machine machine_;
    nQVOSALS100::tStatus status_;
};
