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
    // Throws std::invalid_argument for text that would break the file's structure: a line
    // break anywhere, an empty key or one holding '=', a section name holding ']'.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    std::string text() const;

    // Temporary file in the same directory, fsync, rename, fsync of the directory. Throws
    // std::system_error; the previous file then stays as it was.
    void Commit() const;

private:
    struct Line {
        std::string body;
        std::string end;  // "\n", "\r\n", or empty for a last line without one
    };

    std::size_t findSection(const std::string& section) const;
    void appendLine(std::string body);

    std::string path_;
    std::vector<Line> lines_;
    std::string eol_ = "\n";  // for new lines: the file's first line end
};

}  // namespace beamlink
