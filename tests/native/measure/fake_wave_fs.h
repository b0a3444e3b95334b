#pragma once
// An in-memory wave folder file system for the measure tests.
#include <set>
#include <string>
#include <vector>

#include "measure/stimulus_files.h"

namespace srx::test {

class FakeWaveFs : public WaveFolderFs {
public:
    std::set<std::string> dirs, files;  // full paths, "\" separated
    bool canMake = true;
    int lookups = 0;

    bool IsDirectory(const std::string& p) override {
        ++lookups;
        return dirs.count(p) != 0;
    }
    bool MakeDirectory(const std::string& p) override {
        if (!canMake) return false;
        dirs.insert(p);
        return true;
    }
    bool FileExists(const std::string& p) override {
        ++lookups;
        return files.count(p) != 0;
    }
    std::vector<std::string> FileNames(const std::string& folder) override {
        std::vector<std::string> names;
        const std::string prefix = folder + "\\";
        for (const std::string& f : files)
            if (f.compare(0, prefix.size(), prefix) == 0 && f.find('\\', prefix.size()) == std::string::npos)
                names.push_back(f.substr(prefix.size()));
        return names;
    }
    bool RemoveFile(const std::string& p) override { return files.erase(p) != 0; }
};

}  // namespace srx::test
