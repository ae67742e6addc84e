#pragma once
// An INI file edited like a profile-string service would, then written back whole.

#include <string>
#include <vector>

namespace beamlink {

class IniProfile {
public:
    // Reads the file if it exists; throws std::system_error when it exists but cannot be read.
    explicit IniProfile(std::string path);

    // Section and key match without regard to case; an existing key's value is replaced in
    // place, a missing key goes after the last line of its section, a missing section goes at
    // the end. Other lines stay as they were; the file's own line ends are kept.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    std::string text() const;

    // Temporary file in the same directory, fsync, rename. Throws std::system_error; the
    // previous file then stays as it was.
    void Commit() const;

private:
    std::string path_;
    std::vector<std::string> lines_;
    std::string eol_ = "\n";
    bool finalEol_ = true;
};

}  // namespace beamlink
