// hwconfig tree: the boards placed in the device tree, from each PCI host bridge down through the
// root and switch ports to the board, like lspci -t; --dot writes the same as Graphviz text.
//
// The shape comes from the configuration manager (each board's parents); the device and function
// numbers at each level come from the board's PCI slot path, the same text that keys its alias,
// so the tree shows exactly what the module sees.
#include "host/boardReports.h"
#include "host/commands.h"
#include "host/deviceLocation.h"
#include "host/utf8Text.h"
#include "hwsys/hwsys_tags.h"
#include "host/output.h"
#include "host/progress.h"


#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hwconfig {
namespace {

enum class NodeKind { hostBridge, rootPort, switchPort, board, device };

const char* kindName(NodeKind kind) {
    switch (kind) {
    case NodeKind::hostBridge: return "hostBridge";
    case NodeKind::rootPort: return "rootPort";
    case NodeKind::switchPort: return "switchPort";
    case NodeKind::board: return "board";
    case NodeKind::device: break;
    }
    return "device";
}

const char* kindWords(NodeKind kind) {
    return kind == NodeKind::rootPort ? "root port" : "switch port";
}

struct BoardFacts {
    std::size_t number; // in hwconfig list
    std::string itemName;
    std::string alias;
    std::string model;
    std::optional<PxiLocation> pxi;
    // Why the board's report failed; the board is still placed, from the device tree.
    std::optional<HostError> failure;
};

struct TreeNode {
    DEVINST devInst = 0;
    std::string instanceId;
    NodeKind kind = NodeKind::device;
    std::string root;          // host bridges: "0000:00"
    int devfn = -1;            // PCI levels: (device << 3) | function
    std::optional<BoardFacts> board;
    std::vector<std::unique_ptr<TreeNode>> children;
};

// The slot path of an identity token: the root part, then one devfn per PCI level, board last.
struct SlotPath {
    std::string root;
    std::vector<int> devfns;
};

std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::optional<SlotPath> slotPathOf(const std::string& identityToken) {
    const std::size_t slash = identityToken.find('/');
    if (slash == std::string::npos) {
        return std::nullopt;
    }
    const std::vector<std::string> parts = splitAt(identityToken.substr(slash + 1), ':');
    if (parts.size() < 3) {
        return std::nullopt;
    }
    SlotPath path{parts[0] + ":" + parts[1], {}};
    for (std::size_t i = 2; i < parts.size(); ++i) {
        path.devfns.push_back(std::stoi(parts[i], nullptr, 16));
    }
    return path;
}

TreeNode& childFor(std::vector<std::unique_ptr<TreeNode>>& children, const DeviceNode& device) {
    for (const auto& child : children) {
        if (child->devInst == device.devInst) {
            return *child;
        }
    }
    children.push_back(std::make_unique<TreeNode>());
    children.back()->devInst = device.devInst;
    children.back()->instanceId = device.instanceId;
    return *children.back();
}

class DeviceForest {
public:
    void addBoard(const DeviceLocation& location, BoardFacts facts) {
        const std::vector<DeviceNode>& up = location.ancestry;
        const std::optional<SlotPath> slotPath = slotPathOf(location.identityToken);
        const std::size_t levels = slotPath ? slotPath->devfns.size() : 0;
        TreeNode* node = nullptr;
        if (slotPath && up.size() > levels) {
            node = &childFor(roots_, up[levels]);
            node->kind = NodeKind::hostBridge;
            node->root = slotPath->root;
            for (std::size_t level = levels; level-- > 0;) {
                node = &childFor(node->children, up[level]);
                node->devfn = slotPath->devfns[levels - 1 - level];
                node->kind = level + 1 == levels ? NodeKind::rootPort : NodeKind::switchPort;
            }
        } else {
            // Not placed on a PCI bus: shown below its parent, without a position.
            node = up.size() > 1 ? &childFor(childFor(roots_, up[1]).children, up[0]) : &childFor(roots_, up[0]);
        }
        node->kind = NodeKind::board;
        node->board = std::move(facts);
    }

    // Children in the configuration manager's order, host bridges by their root part.
    void sort() {
        std::stable_sort(roots_.begin(), roots_.end(),
                         [](const auto& a, const auto& b) { return a->root < b->root; });
        for (const auto& root : roots_) {
            sortChildren(*root);
        }
    }

    const std::vector<std::unique_ptr<TreeNode>>& roots() const { return roots_; }

private:
    static void sortChildren(TreeNode& node) {
        const std::vector<DEVINST> order = childrenOf(node.devInst);
        const auto rank = [&](const std::unique_ptr<TreeNode>& child) {
            return std::find(order.begin(), order.end(), child->devInst) - order.begin();
        };
        std::stable_sort(node.children.begin(), node.children.end(),
                         [&](const auto& a, const auto& b) { return rank(a) < rank(b); });
        for (const auto& child : node.children) {
            sortChildren(*child);
        }
    }

    std::vector<std::unique_ptr<TreeNode>> roots_;
};

BoardFacts readBoardFacts(IhwSysExpert2* expert, std::size_t number, const ItemName& itemName) {
    const BoardReport report = readBoardReport(expert, itemName);
    BoardFacts facts{number, toUtf8(itemName.c_str()), {}, {}, std::nullopt, std::nullopt};
    if (FAILED(report.result)) {
        facts.failure = reportFailure(report);
        return facts;
    }
    facts.alias = propertyText(report, hwSysTagAlias);
    facts.model = propertyText(report, hwSysTagModelName);
    facts.pxi = pxiLocation(report);
    return facts;
}

DeviceForest buildForest(IhwSysExpert2* expert, FailedBoards& failures) {
    const std::vector<ItemName> names = readItemNames(expert);
    DeviceForest forest;
    Progress progress("placing boards in the device tree", names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        BoardFacts facts = readBoardFacts(expert, i + 1, names[i]);
        if (facts.failure) {
            failures.add(i + 1, *facts.failure);
        }
        const DeviceLocation location = locateBoard(facts.itemName);
        forest.addBoard(location, std::move(facts));
        progress.update(i + 1);
    }
    forest.sort();
    return forest;
}

// "8086:a110" from "PCI\VEN_8086&DEV_A110&...", as lspci shows PCI IDs; the instance ID itself
// for other devices.
std::string pciIds(const std::string& instanceId) {
    const std::size_t vendor = instanceId.find("VEN_");
    const std::size_t device = instanceId.find("DEV_");
    if (vendor == std::string::npos || device == std::string::npos) {
        return instanceId;
    }
    std::string ids = instanceId.substr(vendor + 4, 4) + ":" + instanceId.substr(device + 4, 4);
    std::transform(ids.begin(), ids.end(), ids.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return ids;
}

// The vendor or device ID ("VEN_", "DEV_") of a PCI instance ID as a number, for JSON.
std::optional<unsigned long> pciIdNumber(const std::string& instanceId, const char* field) {
    const std::size_t at = instanceId.find(field);
    if (at == std::string::npos || instanceId.size() < at + 8) {
        return std::nullopt;
    }
    const std::string digits = instanceId.substr(at + 4, 4);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        return std::nullopt;
    }
    return std::stoul(digits, nullptr, 16);
}

std::string devfnText(int devfn) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x.%x", (devfn >> 3) & 0x1F, devfn & 7);
    return text;
}

std::string pxiText(const BoardFacts& board) {
    if (!board.pxi) {
        return {};
    }
    return "PXI chassis " + std::to_string(board.pxi->chassis) + ", slot " + std::to_string(board.pxi->slot);
}

std::string nodeLabel(const TreeNode& node) {
    if (node.kind == NodeKind::hostBridge) {
        return "[" + node.root + "] host bridge " + node.instanceId;
    }
    const std::string position = node.devfn >= 0 ? devfnText(node.devfn) + " " : "";
    if (node.kind != NodeKind::board) {
        return position + (node.devfn >= 0 ? std::string(kindWords(node.kind)) + " " + pciIds(node.instanceId)
                                           : node.instanceId);
    }
    if (node.board->failure) {
        return position + node.board->itemName + "  (report failed)";
    }
    const std::string& name = node.board->alias.empty() ? node.board->itemName : node.board->alias;
    std::string label = position + name + "  " + node.board->model;
    const std::string pxi = pxiText(*node.board);
    return pxi.empty() ? label : label + "  " + pxi;
}

void printTextNode(const TreeNode& node, const std::string& prefix, bool last) {
    printOut("%s%s%s\n", prefix.c_str(), last ? "\\- " : "+- ", printable(nodeLabel(node)).c_str());
    const std::string inner = prefix + (last ? "   " : "|  ");
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        printTextNode(*node.children[i], inner, i + 1 == node.children.size());
    }
}

void printText(const DeviceForest& forest) {
    if (forest.roots().empty()) {
        printOut("No boards found.\n");
        return;
    }
    for (const auto& root : forest.roots()) {
        printOut("%s\n", printable(nodeLabel(*root)).c_str());
        for (std::size_t i = 0; i < root->children.size(); ++i) {
            printTextNode(*root->children[i], "", i + 1 == root->children.size());
        }
    }
}

std::string dotEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out;
}

int printDotNode(const TreeNode& node, int& nextId) {
    const int id = nextId++;
    printOut("  n%d [label=\"%s\"%s];\n", id, dotEscaped(printable(nodeLabel(node))).c_str(),
                node.kind == NodeKind::board ? ", style=bold" : "");
    for (const auto& child : node.children) {
        const int childId = printDotNode(*child, nextId);
        printOut("  n%d -> n%d;\n", id, childId);
    }
    return id;
}

void printDot(const DeviceForest& forest) {
    printOut("digraph boards {\n  node [shape=box, fontname=\"monospace\"];\n");
    int nextId = 0;
    for (const auto& root : forest.roots()) {
        printDotNode(*root, nextId);
    }
    printOut("}\n");
}

void addJsonNode(cJSON* array, const TreeNode& node) {
    cJSON* object = appendJsonObject(array);
    addJsonString(object, "kind", kindName(node.kind));
    addJsonString(object, "instanceId", node.instanceId);
    if (node.kind == NodeKind::hostBridge) {
        addJsonString(object, "root", node.root);
    } else if (node.devfn >= 0) {
        addJsonNumber(object, "device", (node.devfn >> 3) & 0x1F);
        addJsonNumber(object, "function", node.devfn & 7);
        // The IDs the text tree shows, as numbers; null for a device without them.
        for (const auto& [name, field] : {std::pair{"vendorId", "VEN_"}, std::pair{"deviceId", "DEV_"}}) {
            if (const std::optional<unsigned long> id = pciIdNumber(node.instanceId, field)) {
                addJsonNumber(object, name, static_cast<double>(*id));
            } else {
                addJsonNull(object, name);
            }
        }
    }
    if (node.board) {
        addJsonNumber(object, "number", static_cast<double>(node.board->number));
        addJsonString(object, "itemName", node.board->itemName);
        addJsonOptionalString(object, "alias", node.board->alias);
        addJsonOptionalString(object, "model", node.board->model);
        if (node.board->pxi) {
            cJSON* pxi = addJsonObject(object, "pxi");
            addJsonNumber(pxi, "chassis", static_cast<double>(node.board->pxi->chassis));
            addJsonNumber(pxi, "slot", node.board->pxi->slot);
        } else {
            addJsonNull(object, "pxi");
        }
        if (node.board->failure) {
            addJsonError(object, "error", *node.board->failure);
        } else {
            addJsonNull(object, "error");
        }
    }
    cJSON* children = addJsonArray(object, "children");
    for (const auto& child : node.children) {
        addJsonNode(children, *child);
    }
}

void printJsonForest(const DeviceForest& forest) {
    const qv::unique_cjson document = newJsonObject();
    cJSON* roots = addJsonArray(document.get(), "roots");
    for (const auto& root : forest.roots()) {
        addJsonNode(roots, *root);
    }
    printJson(document.get());
}

} // namespace

int runTree(ExpertModule& module, const CommandOptions& options, const TreeOptions& tree) {
    FailedBoards failures;
    const DeviceForest forest = buildForest(module.expert(), failures);
    if (tree.dot) {
        printDot(forest);
    } else if (options.json) {
        printJsonForest(forest);
    } else {
        printText(forest);
    }
    failures.print();
    return failures.empty() ? kExitSuccess : kExitReportsFailed;
}

} // namespace hwconfig
