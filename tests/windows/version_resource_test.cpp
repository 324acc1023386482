// The version resources of the shipped files, read as an installer or Explorer reads them: each names
// the product, its maker, the file and the build's version, the same that GetExpertVersion gives.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

class VersionResource {
public:
    explicit VersionResource(const wchar_t* file) {
        DWORD ignored = 0;
        data_.resize(GetFileVersionInfoSizeW(file, &ignored));
        loaded_ = !data_.empty() && GetFileVersionInfoW(file, 0, static_cast<DWORD>(data_.size()), data_.data());
    }

    bool loaded() const { return loaded_; }

    std::wstring text(const std::wstring& name) const {
        void* value = nullptr;
        UINT length = 0;
        const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
        if (!VerQueryValueW(data_.data(), key.c_str(), &value, &length) || length == 0) {
            return L"(none)";
        }
        return std::wstring(static_cast<const wchar_t*>(value), length - 1);
    }

    const VS_FIXEDFILEINFO* fixed() const {
        void* value = nullptr;
        UINT length = 0;
        return VerQueryValueW(data_.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)
                   ? static_cast<const VS_FIXEDFILEINFO*>(value)
                   : nullptr;
    }

private:
    std::vector<char> data_;
    bool loaded_ = false;
};

std::wstring widened(const char* text) {
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

} // namespace

TEST(VersionResources, the_module_and_hwconfig_say_what_they_are_and_which_build) {
    const struct {
        const wchar_t* file;
        const wchar_t* description;
    } files[] = {
        {L"qvkelpsysapiexpertu.dll", L"QV-KELP system API expert"},
        {L"hwconfig.exe", L"QV-KELP hardware configuration"},
    };
    const std::wstring version = widened(QVKELP_VERSION_TEXT);
    for (const auto& f : files) {
        const VersionResource resource(f.file);
        ASSERT_TRUE(resource.loaded()) << f.file << ": " << GetLastError();
        const std::wstring name(f.file);
        EXPECT_EQ(resource.text(L"FileVersion"), version) << f.file;
        EXPECT_EQ(resource.text(L"ProductVersion"), version) << f.file;
        EXPECT_EQ(resource.text(L"CompanyName"), L"Quorvel") << f.file;
        EXPECT_EQ(resource.text(L"ProductName"), L"QV-KELP") << f.file;
        EXPECT_EQ(resource.text(L"FileDescription"), f.description) << f.file;
        EXPECT_EQ(resource.text(L"InternalName"), name.substr(0, name.find(L'.'))) << f.file;
        EXPECT_EQ(resource.text(L"OriginalFilename"), name) << f.file;
        const VS_FIXEDFILEINFO* fixed = resource.fixed();
        ASSERT_NE(fixed, nullptr) << f.file;
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu) << f.file;
        const std::wstring numbers = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
                                     std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
                                     std::to_wstring(HIWORD(fixed->dwFileVersionLS));
        EXPECT_EQ(numbers, version) << f.file;
    }
}
