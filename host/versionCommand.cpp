#include "com/CqvBStr.h"
#include "host/commands.h"
#include "host/output.h"
#include "host/utf8Text.h"

#include <cstdio>

namespace hwconfig {
namespace {

constexpr const char* kHwconfigVersion = QVKELP_VERSION_TEXT; // the product's version, from the build

} // namespace

// hwconfig --version: its own version and the module's, which the module reports once loaded.
int runVersion(ExpertModule& module, const CommandOptions& options) {
    qvkelpsysapiexpert::CqvBStr moduleVersion;
    throwIfFailed(module.expert()->GetExpertVersion(moduleVersion.address()), "GetExpertVersion");
    const std::string version = toUtf8(moduleVersion.get());
    if (options.json) {
        const qv::unique_cjson document = newJsonObject();
        addJsonString(document.get(), "hwconfig", kHwconfigVersion);
        addJsonString(document.get(), "module", version);
        printJson(document.get());
    } else {
        printOut("hwconfig %s\nqvkelpsysapiexpertu %s\n", kHwconfigVersion, printable(version).c_str());
    }
    return kExitSuccess;
}

} // namespace hwconfig
