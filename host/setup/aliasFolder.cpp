#include "host/setup/aliasFolder.h"

#include "support/ansiPath.h"

#include <cstring>
#include <optional>

namespace qvsetup {
namespace {

// The names the module uses (source/aliases/AliasStore.cpp): the maker's folder, the product's folder, the
// alias file and the common journal beside it.
constexpr char kMakerFolder[] = "\\Quorvel";
constexpr char kProductFolder[] = "\\QV-KELP";
constexpr char kAliasFile[] = "\\aliases.json";
constexpr char kCommonJournalSuffix[] = ".recovery";
constexpr char kEmptyAliasFile[] = R"({"devices": {}})";

// Looking at an object's owner, list and kind asks for no data, so no share mode stops it.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLookAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr DWORD kProtectAccess = WRITE_DAC | WRITE_OWNER;

std::string commonAppData() {
    WCHAR folder[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    if (result != S_OK) {
        throw SetupError("cannot find the common application-data folder (SHGetFolderPathW failed)");
    }
    std::basic_string<WCHAR> wide(folder, std::char_traits<WCHAR>::length(folder));
    while (!wide.empty() && wide.back() == u'\\') {
        wide.pop_back();
    }
    // The module names the folder in the ANSI code page the same way and hands it to the same A
    // functions.
    std::optional<std::string> path = qvtext::ansiPathOf(wide);
    if (!path) {
        throw SetupError("the common application-data folder has a character the ANSI code page lacks, so "
                         "the module cannot name it");
    }
    return *path;
}

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE handle, const std::string& path) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        throw SetupError("cannot read what " + path + " is: " + errorText(GetLastError()));
    }
    return information;
}

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A folder is opened itself, never through a link: a link or a junction planted here would send
// every user of the alias file to a folder its planter chose.
void requireFolder(HANDLE handle, const std::string& path) {
    const DWORD attributes = informationOf(handle, path).dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        throw SetupError(path + " is a link or a junction, not a folder: refused, since it would lead every user "
                                "of the alias file elsewhere; remove it and run qvkelp-setup again");
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw SetupError(path + " is not a folder: refused; remove it and run qvkelp-setup again");
    }
}

// A file whose protection the set-up changes must be a plain file with one name: through a link or a
// second name it would change the protection of a file elsewhere.
void requirePlainFile(HANDLE handle, const std::string& path) {
    const BY_HANDLE_FILE_INFORMATION information = informationOf(handle, path);
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
    if ((information.dwFileAttributes & kNotPlain) != 0) {
        throw SetupError(path + " is not a plain file (a link, a folder or a device): refused; remove it and run "
                                "qvkelp-setup again");
    }
    if (information.nNumberOfLinks != 1) {
        throw SetupError(path + " has more than one name (a hard link): refused, since its protection is another "
                                "file's too; remove it and run qvkelp-setup again");
    }
}

void writeAll(HANDLE handle, const std::string& text, const std::string& path) {
    DWORD written = 0;
    if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(handle)) {
        throw SetupError("cannot write " + path + ": " + errorText(GetLastError()));
    }
}

class AliasFolderSetup {
public:
    AliasFolderSetup(SetupMode mode, const AliasProtection& protection) : mode_(mode), protection_(protection) {}

    std::vector<std::string> run() {
        const std::string maker = commonAppData() + kMakerFolder;
        const std::string product = maker + kProductFolder;
        // Once the maker's folder is protected on its own handle only administrators may change what
        // its names lead to, so the product's folder below it is the one then opened, and so on down.
        if (settleFolder(maker) && settleFolder(product)) {
            settleFiles(product + kAliasFile);
        }
        return std::move(lines_);
    }

private:
    bool setting() const { return mode_ == SetupMode::set; }

    qv::unique_hfile open(const std::string& path, DWORD access, DWORD flags) const {
        return qv::unique_hfile(CreateFileA(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr));
    }

    // A handle on an existing object, or none when it is missing and the set-up only checks.
    qv::unique_hfile openExisting(const std::string& path, DWORD access, DWORD flags) {
        qv::unique_hfile handle = open(path, access | (setting() ? kProtectAccess : 0), flags);
        if (!handle && !setting() && isMissing(GetLastError())) {
            lines_.push_back(path + ": missing");
        } else if (!handle) {
            throw SetupError("cannot open " + path + ": " + errorText(GetLastError()));
        }
        return handle;
    }

    // Gives the object its protection when it differs (or, checking, says that it differs).
    void settle(HANDLE handle, const std::string& path, const Protection& wanted) {
        const std::string difference = HandleProtection(handle, path).differenceFrom(wanted);
        if (difference.empty()) {
            return;
        }
        if (setting()) {
            applyProtection(handle, wanted, path);
        }
        lines_.push_back(path + ": " + difference + (setting() ? "; set right" : ""));
    }

    // Whether the folder is there (made now or before) and so may be looked into.
    bool settleFolder(const std::string& path) {
        if (setting() && !CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            throw SetupError("cannot create the folder " + path + ": " + errorText(GetLastError()));
        }
        const qv::unique_hfile folder = openExisting(path, kLookAccess, FILE_FLAG_BACKUP_SEMANTICS);
        if (!folder) {
            return false;
        }
        requireFolder(folder.get(), path);
        settle(folder.get(), path, protection_.folder());
        return true;
    }

    qv::unique_hfile createNew(const std::string& path) const {
        return qv::unique_hfile(CreateFileA(path.c_str(), GENERIC_WRITE | kLookAccess | kProtectAccess, 0, nullptr,
                                            CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    }

    // A new file is given its protection before anything is written into it.
    qv::unique_hfile createProtected(const std::string& path, const std::string& text) {
        qv::unique_hfile file = createNew(path);
        if (!file) {
            if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
                throw SetupError("cannot create " + path + ": " + errorText(GetLastError()));
            }
            return file;
        }
        applyProtection(file.get(), protection_.file(), path);
        writeAll(file.get(), text, path);
        lines_.push_back(path + ": created" + (text.empty() ? " empty" : " holding " + text));
        return file;
    }

    // aliases.json is made only when missing and never written otherwise. The common journal is
    // looked at while the file still has the protection it had, since that says whether it counted.
    void settleFiles(const std::string& filePath) {
        qv::unique_hfile file = setting() ? createProtected(filePath, kEmptyAliasFile) : qv::unique_hfile();
        if (!file) {
            file = openExisting(filePath, kLookAccess, 0);
        }
        if (!file) {
            return;
        }
        requirePlainFile(file.get(), filePath);
        settleJournal(filePath + kCommonJournalSuffix, HandleProtection(file.get(), filePath));
        settle(file.get(), filePath, protection_.file());
    }

    // The common journal, kept beside the file with its protection so that every operator's rename
    // is protected through it. One not protected as the file was never counted; it is emptied (so
    // that it never counts once protected) before it is given the file's protection.
    void settleJournal(const std::string& path, const HandleProtection& fileProtection) {
        if (setting() && createProtected(path, "")) {
            return;
        }
        const qv::unique_hfile journal = openExisting(path, kLookAccess | (setting() ? GENERIC_WRITE : 0), 0);
        if (!journal) {
            return;
        }
        requirePlainFile(journal.get(), path);
        const BY_HANDLE_FILE_INFORMATION information = informationOf(journal.get(), path);
        const bool holdsText = information.nFileSizeLow != 0 || information.nFileSizeHigh != 0;
        if (holdsText && !HandleProtection(journal.get(), path).sameAs(fileProtection)) {
            if (setting()) {
                emptyJournal(journal.get(), path);
            }
            lines_.push_back(path + ": holds a journal not protected as the alias file, which never counted" +
                             (setting() ? "; emptied" : ""));
        }
        settle(journal.get(), path, protection_.file());
    }

    static void emptyJournal(HANDLE journal, const std::string& path) {
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(journal, start, nullptr, FILE_BEGIN) || !SetEndOfFile(journal) ||
            !FlushFileBuffers(journal)) {
            throw SetupError("cannot empty " + path + ": " + errorText(GetLastError()));
        }
    }

    const SetupMode mode_;
    const AliasProtection& protection_;
    std::vector<std::string> lines_;
};

} // namespace

std::vector<std::string> setUpAliasFolder(SetupMode mode, const AliasProtection& protection) {
    return AliasFolderSetup(mode, protection).run();
}

std::string aliasFolderPath() {
    return commonAppData() + kMakerFolder + kProductFolder;
}

} // namespace qvsetup
