#include "measure/compensation_settings.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "dsp/compensation_io.h"
#include "dsp/frequency_response.h"
#include "measure/measurement_settings.h"
#include "measure/stimulus_files.h"

namespace srx {

using namespace compensation_io;

namespace {

// Measurement-settings flag bit 8: normalise waterfalls.
constexpr uint32_t kMsfNormaliseWaterfall = 1u << 8;

}  // namespace

// ---- Settings and names ---------------------------------------------------

std::string RememberedMicrophoneCompensation() {
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    return TextField(ms.reservedPath, sizeof ms.reservedPath);
}

void SetRememberedMicrophoneCompensation(const std::string& baseName) {
    MeasurementSettings& ms = CurrentMeasurementSettings();
    StoreTextField(ms.reservedPath, sizeof ms.reservedPath, baseName);
}

std::string RememberedSecondaryCompensation() {
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    return TextField(reinterpret_cast<const char*>(ms.carried1), sizeof ms.carried1);
}

void SetRememberedSecondaryCompensation(const std::string& baseName) {
    MeasurementSettings& ms = CurrentMeasurementSettings();
    StoreTextField(reinterpret_cast<char*>(ms.carried1), sizeof ms.carried1, baseName);
}

CompensationSettings CurrentCompensationSettings() {
    const MeasurementSettings& ms = CurrentMeasurementSettings();
    CompensationSettings s;
    s.programFolder = MeasureProgramFolder();
    s.microphoneName = RememberedMicrophoneCompensation();
    s.secondaryName = RememberedSecondaryCompensation();
    const uint32_t flags = ms.flags;
    s.normalise = (flags & kMsfNoNormalise) == 0;
    s.normaliseWaterfall = (flags & kMsfNormaliseWaterfall) != 0;
    return s;
}

std::vector<std::string> CompensationListNames(const std::string& programFolder, bool secondary, bool offerNew,
                                               WaveFolderFs& fs) {
    std::vector<std::string> names;
    const char* extension = secondary ? kSecondaryExtension : kMicrophoneExtension;
    for (const std::string& file : fs.FileNames(programFolder)) {
        if (!IEndsWith(file, extension) || file.size() == std::strlen(extension)) continue;
        if (!secondary && IEquals(file, kHiddenCompensation)) continue;
        names.push_back(file.substr(0, file.size() - std::strlen(extension)));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    });
    std::vector<std::string> list{kNoCompensationItem};
    if (offerNew && !secondary) list.push_back(kNewCompensationItem);
    list.insert(list.end(), names.begin(), names.end());
    return list;
}

std::vector<std::string> CompensationListNames(const std::string& programFolder, bool secondary, bool offerNew) {
    return CompensationListNames(programFolder, secondary, offerNew, HostFileSystem());
}

Status ApplyMicrophoneCompensation(Measurement& m, const char* name) {
    return ApplyMicrophoneCompensation(m, name, CurrentCompensationSettings(), CurrentAnalysisSettings());
}

Status ApplySecondaryCompensation(Measurement& m) {
    return ApplySecondaryCompensation(m, CurrentCompensationSettings(), CurrentAnalysisSettings());
}

Status CompensateWaterfall(TimeRecord& t, const char* name) {
    return CompensateWaterfall(t, name, CurrentCompensationSettings());
}

CalibrationConversion ConvertFoundCalibrations(const std::string& programFolder, WaveFolderFs& fs) {
    CalibrationConversion result;
    std::vector<std::string> names = fs.FileNames(programFolder);
    std::sort(names.begin(), names.end());
    std::set<std::string> present;  // lower-case names, as Windows compares them
    auto lower = [](std::string s) {
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (const std::string& n : names) present.insert(lower(n));
    for (const std::string& name : names) {
        if (!IsCalibrationFileName(name)) continue;
        const std::string base = name.substr(0, name.size() - 4);
        const std::string target = base + kMicrophoneExtension;
        if (present.count(lower(target))) continue;
        CompensationCurve curve;
        if (!ConvertCalibrationFile(InProgramFolder(programFolder, name.c_str()), curve).ok() ||
            !SaveCompensation(InProgramFolder(programFolder, target.c_str()), curve)) {
            result.failed.push_back(name);
            continue;
        }
        present.insert(lower(target));
        result.converted.push_back(base);
    }
    return result;
}

CalibrationConversion ConvertFoundCalibrations(const std::string& programFolder) {
    return ConvertFoundCalibrations(programFolder, HostFileSystem());
}

}  // namespace srx
