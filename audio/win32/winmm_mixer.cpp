// The winmm mixer back-end: a thin translation of the MixerBackend calls to
// the mixer API. Every failure reads as "nothing there", so the portable
// logic simply skips lines and controls a driver does not offer.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "audio/mixer.h"

namespace srx {
namespace {

MixerLineInfo ToLine(const MIXERLINEA& ml) {
    MixerLineInfo l;
    l.lineId = ml.dwLineID;
    l.componentType = ml.dwComponentType;
    l.channels = ml.cChannels ? ml.cChannels : 1;
    l.name.assign(ml.szName, strnlen(ml.szName, sizeof ml.szName));
    return l;
}

class WinmmMixerBackend : public MixerBackend {
public:
    ~WinmmMixerBackend() override {
        for (auto& [index, h] : open_) mixerClose(h);
    }

    int MixerCount() override { return static_cast<int>(mixerGetNumDevs()); }

    std::string MixerName(int mixer) override {
        MIXERCAPSA caps{};
        if (mixerGetDevCapsA(static_cast<UINT_PTR>(mixer), &caps, sizeof caps) != MMSYSERR_NOERROR) return {};
        return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }

    int WaveOutCount() override { return static_cast<int>(waveOutGetNumDevs()); }
    std::string WaveOutName(int device) override {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(static_cast<UINT_PTR>(device), &caps, sizeof caps) != MMSYSERR_NOERROR) return {};
        return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
    int WaveInCount() override { return static_cast<int>(waveInGetNumDevs()); }
    std::string WaveInName(int device) override {
        WAVEINCAPSA caps{};
        if (waveInGetDevCapsA(static_cast<UINT_PTR>(device), &caps, sizeof caps) != MMSYSERR_NOERROR) return {};
        return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }

    int MixerOfWaveDevice(bool input, int device) override {
        UINT id = 0;
        DWORD kind = input ? MIXER_OBJECTF_WAVEIN : MIXER_OBJECTF_WAVEOUT;
        if (mixerGetID(reinterpret_cast<HMIXEROBJ>(static_cast<UINT_PTR>(device)), &id, kind) != MMSYSERR_NOERROR)
            return -1;
        return static_cast<int>(id);
    }

    std::vector<MixerLineInfo> Destinations(int mixer) override {
        std::vector<MixerLineInfo> out;
        HMIXEROBJ h = Handle(mixer);
        MIXERCAPSA caps{};
        if (!h || mixerGetDevCapsA(static_cast<UINT_PTR>(mixer), &caps, sizeof caps) != MMSYSERR_NOERROR) return out;
        for (DWORD d = 0; d < caps.cDestinations; ++d) {
            MIXERLINEA ml{};
            ml.cbStruct = sizeof ml;
            ml.dwDestination = d;
            if (mixerGetLineInfoA(h, &ml, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION) != MMSYSERR_NOERROR) {
                // Keep the positions: Sources() takes a destination's index.
                out.push_back(MixerLineInfo{0xFFFFFFFFu, 0, 1, {}});
                continue;
            }
            out.push_back(ToLine(ml));
        }
        return out;
    }

    std::vector<MixerLineInfo> Sources(int mixer, int destination) override {
        std::vector<MixerLineInfo> out;
        HMIXEROBJ h = Handle(mixer);
        if (!h || destination < 0) return out;
        MIXERLINEA dst{};
        dst.cbStruct = sizeof dst;
        dst.dwDestination = static_cast<DWORD>(destination);
        if (mixerGetLineInfoA(h, &dst, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_DESTINATION) != MMSYSERR_NOERROR)
            return out;
        for (DWORD s = 0; s < dst.cConnections; ++s) {
            MIXERLINEA ml{};
            ml.cbStruct = sizeof ml;
            ml.dwDestination = static_cast<DWORD>(destination);
            ml.dwSource = s;
            if (mixerGetLineInfoA(h, &ml, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_SOURCE) == MMSYSERR_NOERROR)
                out.push_back(ToLine(ml));
        }
        return out;
    }

    std::vector<MixerControlInfo> Controls(int mixer, const MixerLineInfo& line) override {
        std::vector<MixerControlInfo> out;
        HMIXEROBJ h = Handle(mixer);
        if (!h) return out;
        MIXERLINEA ml{};
        ml.cbStruct = sizeof ml;
        ml.dwLineID = line.lineId;
        if (mixerGetLineInfoA(h, &ml, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_LINEID) != MMSYSERR_NOERROR ||
            ml.cControls == 0)
            return out;
        std::vector<MIXERCONTROLA> ctl(ml.cControls);
        MIXERLINECONTROLSA lc{};
        lc.cbStruct = sizeof lc;
        lc.dwLineID = line.lineId;
        lc.cControls = ml.cControls;
        lc.cbmxctrl = sizeof(MIXERCONTROLA);
        lc.pamxctrl = ctl.data();
        if (mixerGetLineControlsA(h, &lc, MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ALL) != MMSYSERR_NOERROR)
            return out;
        for (const MIXERCONTROLA& c : ctl) {
            MixerControlInfo info;
            info.controlId = c.dwControlID;
            info.type = c.dwControlType;
            info.minimum = c.Bounds.lMinimum;
            info.maximum = c.Bounds.lMaximum;
            info.channels = (c.fdwControl & MIXERCONTROL_CONTROLF_UNIFORM) ? 1 : (ml.cChannels ? ml.cChannels : 1);
            if ((c.fdwControl & MIXERCONTROL_CONTROLF_MULTIPLE) && c.cMultipleItems) ListItems(h, c, info);
            out.push_back(std::move(info));
        }
        return out;
    }

    bool GetValues(int mixer, const MixerControlInfo& c, std::vector<int32_t>& values) override {
        HMIXEROBJ h = Handle(mixer);
        if (!h) return false;
        std::vector<LONG> buf(Slots(c));
        MIXERCONTROLDETAILS d = Details(c, buf);
        if (mixerGetControlDetailsA(h, &d, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE) != MMSYSERR_NOERROR)
            return false;
        // List controls: the items of the first channel.
        size_t n = c.itemLines.empty() ? buf.size() : c.itemLines.size();
        values.assign(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        return true;
    }

    bool SetValues(int mixer, const MixerControlInfo& c, const std::vector<int32_t>& values) override {
        HMIXEROBJ h = Handle(mixer);
        if (!h || values.empty()) return false;
        std::vector<LONG> buf(Slots(c));
        const size_t per = c.itemLines.empty() ? 1 : c.itemLines.size();
        // Short value lists repeat their last channel; list items go to every channel.
        for (size_t i = 0; i < buf.size(); ++i) {
            size_t k = c.itemLines.empty() ? std::min(i, values.size() - 1) : i % per;
            buf[i] = k < values.size() ? values[k] : 0;
        }
        MIXERCONTROLDETAILS d = Details(c, buf);
        return mixerSetControlDetails(h, &d, MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE) == MMSYSERR_NOERROR;
    }

private:
    HMIXEROBJ Handle(int mixer) {
        auto it = open_.find(mixer);
        if (it != open_.end()) return reinterpret_cast<HMIXEROBJ>(it->second);
        if (mixer < 0 || mixer >= MixerCount()) return nullptr;
        HMIXER h = nullptr;
        if (mixerOpen(&h, static_cast<UINT>(mixer), 0, 0, MIXER_OBJECTF_MIXER) != MMSYSERR_NOERROR) return nullptr;
        open_[mixer] = h;
        return reinterpret_cast<HMIXEROBJ>(h);
    }

    static size_t Slots(const MixerControlInfo& c) {
        size_t items = c.itemLines.empty() ? 1 : c.itemLines.size();
        return (c.channels ? c.channels : 1) * items;
    }

    static MIXERCONTROLDETAILS Details(const MixerControlInfo& c, std::vector<LONG>& buf) {
        MIXERCONTROLDETAILS d{};
        d.cbStruct = sizeof d;
        d.dwControlID = c.controlId;
        d.cChannels = c.channels ? c.channels : 1;
        d.cMultipleItems = static_cast<DWORD>(c.itemLines.size());
        d.cbDetails = sizeof(LONG);  // BOOLEAN, SIGNED and UNSIGNED details are all one LONG/DWORD
        d.paDetails = buf.data();
        return d;
    }

    static void ListItems(HMIXEROBJ h, const MIXERCONTROLA& c, MixerControlInfo& info) {
        std::vector<MIXERCONTROLDETAILS_LISTTEXTA> text(static_cast<size_t>(info.channels) * c.cMultipleItems);
        MIXERCONTROLDETAILS d{};
        d.cbStruct = sizeof d;
        d.dwControlID = c.dwControlID;
        d.cChannels = info.channels;
        d.cMultipleItems = c.cMultipleItems;
        d.cbDetails = sizeof(MIXERCONTROLDETAILS_LISTTEXTA);
        d.paDetails = text.data();
        if (mixerGetControlDetailsA(h, &d, MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_LISTTEXT) !=
            MMSYSERR_NOERROR)
            return;
        for (DWORD i = 0; i < c.cMultipleItems; ++i) info.itemLines.push_back(text[i].dwParam1);
    }

    std::map<int, HMIXER> open_;
};

}  // namespace

std::unique_ptr<MixerBackend> MakeWinmmMixerBackend() { return std::make_unique<WinmmMixerBackend>(); }

}  // namespace srx
