#include "app/command_rules.h"

#include <algorithm>
#include <cstring>

#include "data/view_flags.h"

namespace srx {

namespace {

enum class Word { Shell, Graph, Distortion, Box, Xover, Options };

struct FlagCommand {
    int command;
    Word word;
    uint32_t mask;
    uint32_t exclusive;  // bits cleared when this one is set
    bool checkedWhenClear;
    bool toggledHere;  // false: the document window toggles it
    RepaintScope scope;
};

constexpr uint32_t kPhaseBits = kGraphPhase | kGraphMinimumPhase | kGraphExcessPhase;
constexpr uint32_t kDelayBits = kGraphGroupDelay | kGraphMinimumGroupDelay | kGraphExcessGroupDelay;

const FlagCommand kFlagCommands[] = {
    {110, Word::Shell, kShellPrintMonochrome, 0, false, true, RepaintScope::None},
    {515, Word::Box, kBoxUnwrappedPhase, 0, false, true, RepaintScope::Analysis},
    {516, Word::Box, kBoxThickLines, 0, false, true, RepaintScope::Analysis},
    {618, Word::Xover, kXoverZResistors, 0, false, true, RepaintScope::XoverSchematic},
    {619, Word::Xover, kXoverAllCurves, 0, false, true, RepaintScope::XoverGraphs},
    {620, Word::Xover, kXoverNoSum, 0, false, true, RepaintScope::XoverGraphs},
    {621, Word::Xover, kXoverTarget, 0, false, true, RepaintScope::XoverGraphs},
    {738, Word::Graph, kGraphAmplitude, 0, false, true, RepaintScope::Graphs},
    {739, Word::Graph, kGraphPhase, kPhaseBits, false, true, RepaintScope::Graphs},
    {740, Word::Graph, kGraphMinimumPhase, kPhaseBits, false, true, RepaintScope::Graphs},
    {741, Word::Graph, kGraphExcessPhase, kPhaseBits, false, true, RepaintScope::Graphs},
    {742, Word::Graph, kGraphGroupDelay, kDelayBits, false, true, RepaintScope::Graphs},
    {743, Word::Graph, kGraphMinimumGroupDelay, kDelayBits, false, true, RepaintScope::Graphs},
    {744, Word::Graph, kGraphExcessGroupDelay, kDelayBits, false, true, RepaintScope::Graphs},
    {745, Word::Distortion, 0x001, 0, false, false, RepaintScope::None},
    {746, Word::Distortion, 0x002, 0, false, false, RepaintScope::None},
    {747, Word::Distortion, 0x004, 0, false, false, RepaintScope::None},
    {748, Word::Distortion, 0x008, 0, false, false, RepaintScope::None},
    {749, Word::Distortion, 0x010, 0, false, false, RepaintScope::None},
    {750, Word::Distortion, 0x020, 0, false, false, RepaintScope::None},
    {751, Word::Distortion, 0x040, 0, false, false, RepaintScope::None},
    {752, Word::Distortion, 0x080, 0, false, false, RepaintScope::None},
    {753, Word::Distortion, 0x100, 0, false, false, RepaintScope::None},
    {754, Word::Distortion, kDistortionThd, 0, false, false, RepaintScope::None},
    {757, Word::Graph, kGraphPhaseUnwrapped, 0, false, true, RepaintScope::Graphs},
    {758, Word::Graph, kGraphLinearFrequency, 0, false, true, RepaintScope::Graphs},
    {759, Word::Graph, kGraphLinearAmplitude, 0, false, true, RepaintScope::Graphs},
    {760, Word::Graph, kGraphLogImpedance, 0, false, true, RepaintScope::Graphs},
    {761, Word::Graph, kGraphTimeMarkersHidden, 0, true, true, RepaintScope::Graphs},
    {762, Word::Graph, kGraphDistortionPercent, 0, false, false, RepaintScope::None},
    {763, Word::Graph, kGraphDistortionLogScale, 0, false, false, RepaintScope::None},
    {764, Word::Options, kOptionMinimumPhase, 0, false, true, RepaintScope::None},
    {767, Word::Graph, kGraphWaterfallColours, 0, false, true, RepaintScope::Graphs},
};

const FlagCommand* FindFlagCommand(int command) {
    for (const auto& c : kFlagCommands)
        if (c.command == command) return &c;
    return nullptr;
}

uint32_t& WordOf(FlagWords& f, Word w) {
    switch (w) {
        case Word::Shell: return f.shell;
        case Word::Graph: return f.graph;
        case Word::Distortion: return f.distortion;
        case Word::Box: return f.box;
        case Word::Xover: return f.xover;
        case Word::Options: break;
    }
    return f.measurementOptions;
}

bool Contains(std::initializer_list<int> ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

}  // namespace

FlagWords ReadFlagWords(const SettingsBlocks& s) {
    FlagWords f;
    f.shell = s.window.shellFlags;
    f.graph = s.window.graphViewFlags;
    f.distortion = s.window.distortionViewFlags;
    f.box = s.window.boxViewFlags;
    f.xover = s.xover.crossoverViewFlags;
    std::memcpy(&f.measurementOptions, reinterpret_cast<const uint8_t*>(&s.program) + kOptionFlagsOffset,
                sizeof f.measurementOptions);
    return f;
}

void WriteFlagWords(SettingsBlocks& s, const FlagWords& f) {
    s.window.shellFlags = f.shell;
    s.window.graphViewFlags = f.graph;
    s.window.distortionViewFlags = f.distortion;
    s.window.boxViewFlags = f.box;
    s.xover.crossoverViewFlags = f.xover;
    std::memcpy(reinterpret_cast<uint8_t*>(&s.program) + kOptionFlagsOffset, &f.measurementOptions,
                sizeof f.measurementOptions);
}

bool ApplyFlagToggle(int command, FlagWords& f, RepaintScope* scope) {
    const FlagCommand* c = FindFlagCommand(command);
    if (!c || !c->toggledHere) return false;
    uint32_t& word = WordOf(f, c->word);
    word ^= c->mask;
    if ((word & c->mask) && c->exclusive) word &= ~(c->exclusive & ~c->mask);
    // "No summed response" only makes sense while all curves are shown, so
    // the two bits move together.
    if (command == 619 && !(word & kXoverAllCurves)) word &= ~kXoverNoSum;
    if (command == 620 && (word & kXoverNoSum)) word |= kXoverAllCurves;
    if (scope) *scope = c->scope;
    return true;
}

bool IsFlagChecked(int command, const FlagWords& f) {
    const FlagCommand* c = FindFlagCommand(command);
    if (!c) return false;
    FlagWords copy = f;
    bool set = (WordOf(copy, c->word) & c->mask) != 0;
    return c->checkedWhenClear ? !set : set;
}

const std::vector<int>& FlaggedCommands() {
    static const std::vector<int> ids = [] {
        std::vector<int> v;
        for (const auto& c : kFlagCommands) v.push_back(c.command);
        return v;
    }();
    return ids;
}

void ApplyMenuModeClearing(FlagWords& f, bool easyMenu) {
    f.graph &= ~(kGraphDistortionPercent | kGraphDistortionLogScale);
    if (!easyMenu) return;
    f.distortion &= ~0x1FFu;
    f.graph &= ~(kGraphMinimumPhase | kGraphExcessPhase | kGraphMinimumGroupDelay | kGraphExcessGroupDelay |
                 kGraphDistortionPercent | kGraphLogImpedance | kGraphLinearFrequency | kGraphLinearAmplitude |
                 kGraphTimeMarkersHidden | kGraphDistortionLogScale);
    f.measurementOptions &= ~kOptionMinimumPhase;
}

bool IsTableCommand(int id) {
    return (id >= 101 && id <= 110) || id == 112 || (id >= 132 && id <= 139) || (id >= 201 && id <= 203) ||
           (id >= 301 && id <= 306) || (id >= 501 && id <= 516) || (id >= 601 && id <= 621) ||
           (id >= 701 && id <= 767) || (id >= 901 && id <= 905) || id == 1001 || id == 1005 || id == 1009 ||
           id == 1010 || id == 43;
}

bool IsDocumentCommand(int id) { return (id >= 745 && id <= 756) || id == 762 || id == 763; }

std::map<int, bool> UpdateMenuStates(const ActiveContext& c) {
    std::map<int, bool> s;
    const int kind = c.hasActive ? c.kind : -1;
    s[201] = c.hasActive && c.hasUndo;
    s[202] = s[108] = IsGraphKind(kind);
    s[107] = kind == kDocMeasurement || kind == kDocImpulse || kind == kDocStep;

    // The measurement items: by default everything is greyed; a row either
    // lists what it greys (the rest enabled) or what it enables.
    std::vector<int> items;
    for (int id = 714; id <= 726; ++id) items.push_back(id);
    for (int id = 729; id <= 736; ++id) items.push_back(id);
    for (int id : items) {
        bool on = false;
        switch (kind) {
            case kDocMeasurement:
                on = c.impedance ? !Contains({731, 732, 716, 717, 721, 722, 723, 724, 725, 726, 729, 730}, id)
                                 : !Contains({718, 719, 720, 722, 723, 724, 725, 726, 729, 730}, id);
                break;
            case kDocMultigraph:
                on = !(id == 714 || (id >= 716 && id <= 726) || id == 729 || id == 730 || id == 733);
                break;
            case kDocImpulse: on = !((id >= 715 && id <= 721) || Contains({729, 731, 732, 733}, id)); break;
            case kDocWaterfall: on = !((id >= 715 && id <= 726) || id == 730); break;
            case kDocEtc: on = Contains({714, 734, 735, 736}, id); break;
            case kDocStep: on = Contains({714, 726, 734, 735, 736}, id); break;
            case kDocCyclicMls:
            case kDocQualityControl: on = id == 734 || id == 735; break;
            default: on = false;
        }
        s[id] = on;
    }
    // The curve operations of impedance curves.
    s[765] = s[766] = kind == kDocMeasurement && c.impedance;
    if (c.tsBusy) s[718] = s[719] = s[720] = false;
    // The FFT of a window reads the analyses' settings a measurement uses.
    if (c.measuring) s[723] = false;
    const bool zoomable = (kind >= 3300 && kind <= 3305) || kind == kDocXoverResponse || kind == kDocXoverImpulse;
    s[736] = zoomable;
    s[737] = zoomable && c.zoomed;
    return s;
}

std::vector<int> MeasurementBusyCommands(bool tsMeasurement) {
    std::vector<int> ids{112, 301, 203, 723};
    for (int id = 701; id <= 713; ++id) ids.push_back(id);
    if (tsMeasurement) ids.insert(ids.end(), {718, 719, 720});
    return ids;
}

const std::vector<int>& MeasurementBusyButtons() {
    static const std::vector<int> ids{44, 45, 46, 49, 50, 51, 52, 53, 54, 55};
    return ids;
}

int ContextMenuFor(int kind, bool impedance, bool easyMenu) {
    if (kind >= kDocDesignFirst && kind <= kDocDesignLast) return 15;
    if (kind >= kDocAnalysisFirst && kind <= kDocAnalysisLast) return 16;
    switch (kind) {
        case kDocMeasurement: return impedance ? (easyMenu ? 8 : 7) : (easyMenu ? 6 : 5);
        case kDocMultigraph: return 9;
        case kDocImpulse: return easyMenu ? 11 : 10;
        case kDocWaterfall: return 12;
        case kDocEtc: return 13;
        case kDocStep: return 14;
        case kDocXoverSchematic: return 17;
        case kDocXoverResponse:
        case kDocXoverImpulse:
        case kDocXoverParts: return 18;
        default: return 0;
    }
}

int MenuHelpId(const MenuSelection& s, int previousId) {
    if (s.closed) return 0;
    if (!s.hasMenu) return 1;
    if (s.systemMenu) return 2;
    if (s.popup && !s.contextMenu) {
        int p = s.item;
        if (s.childMaximised) {
            if (p == 0) return 2;  // the maximised child's system menu
            --p;
        }
        static const int kPopupHelp[] = {100, 200, 300, 500, 600, 700, 800, 900, 1000};
        if (p < 0 || p > 8) return previousId;
        return kPopupHelp[p];
    }
    if (s.item == 0) return previousId;  // separators keep what was shown
    return s.item;
}

const std::vector<ToolbarButtonInfo>& ToolbarPalette() {
    static const std::vector<ToolbarButtonInfo> palette{
        {29, 1, 202},  {31, 3, 201},  {34, 6, 101},  {35, 7, 103},  {36, 8, 104},  {42, 14, 108}, {43, 15, 0},
        {44, 16, 701}, {45, 17, 702}, {46, 18, 706}, {47, 19, 737}, {48, 20, 736}, {49, 21, 703}, {50, 22, 709},
        {51, 23, 710}, {52, 24, 707}, {53, 25, 708}, {54, 26, 704}, {55, 27, 705},
    };
    return palette;
}

const ToolbarButtonInfo* FindToolbarButton(int id) {
    for (const auto& b : ToolbarPalette())
        if (b.id == id) return &b;
    return nullptr;
}

const std::vector<int>& DefaultToolbarLayout(bool easy) {
    static const std::vector<int> advanced{34, 35, 36, 0,  42, 0, 29, 0,  31, 0, 44, 45, 54,
                                           49, 0,  46, 52, 53, 0, 55, 51, 50, 0, 48, 47, 43};
    static const std::vector<int> simple{34, 35, 36, 0, 42, 0, 29, 0, 31, 0, 49, 0, 46, 52, 53, 0, 50, 0, 48, 47, 43};
    return easy ? simple : advanced;
}

int ToolbarCommandFor(int buttonId) {
    const ToolbarButtonInfo* b = FindToolbarButton(buttonId);
    return b ? b->command : 0;
}

std::vector<std::string> ParseTips(std::string_view content) {
    std::vector<std::string> tips;
    size_t pos = 0;
    while (pos < content.size() && tips.size() < static_cast<size_t>(kMaxTips)) {
        size_t end = content.find('\n', pos);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() > kMaxTipChars) line = line.substr(0, kMaxTipChars);
        auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\r'; };
        while (!line.empty() && blank(line.front())) line.remove_prefix(1);
        while (!line.empty() && blank(line.back())) line.remove_suffix(1);
        if (!line.empty()) tips.emplace_back(line);
    }
    return tips;
}

int TipToShow(int32_t index, int count) {
    if (count <= 0) return -1;
    int r = index % count;
    return r < 0 ? r + count : r;
}

}  // namespace srx
