// A machine whose drive C is a fresh temporary folder holding the alias file, for tests of the
// alias store.
#pragma once

#include "platform/sim/machine.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class AliasFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "aliasstore-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        drive_ = pattern;
        std::filesystem::create_directories(aliasFolder());
        machine_.mapDrive('C', drive_.string());
        install();
    }

    void TearDown() override {
        sim::uninstallMachine();
        std::filesystem::remove_all(drive_);
    }

    // Installs the machine again after a test changed it (a fault, another data folder).
    void install() { sim::installMachine(machine_); }

    std::filesystem::path aliasFolder() const { return drive_ / "ProgramData" / "Quorvel" / "QV-KELP"; }
    std::filesystem::path aliasFile() const { return aliasFolder() / "aliases.json"; }

    void writeAliasFile(const std::string& text) const {
        std::ofstream out(aliasFile(), std::ios::binary | std::ios::trunc);
        out << text;
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
};
