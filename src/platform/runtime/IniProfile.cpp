#include "IniProfile.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "AtomicFile.h"

namespace beamlink {

namespace {

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool isBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\f\v") == std::string_view::npos;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

// "[name]" with optional blanks around and inside the brackets. Editors may start the file
// with a UTF-8 byte order mark; it is kept but not part of the header.
bool sectionHeader(std::string_view line, std::string_view& name) {
    if (line.starts_with("\xEF\xBB\xBF")) {
        line.remove_prefix(3);
    }
    line = trim(line);
    if (line.empty() || line.front() != '[') {
        return false;
    }
    const auto close = line.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    name = trim(line.substr(1, close - 1));
    return true;
}

bool keyLine(std::string_view line, std::string_view key) {
    const auto equals = line.find('=');
    return equals != std::string_view::npos && equalNoCase(trim(line.substr(0, equals)), key);
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != text.npos;
}

}  // namespace

IniProfile::IniProfile(std::string path) : path_(std::move(path)) {
    std::string contents;
    if (!readFileIfExists(path_, contents)) {
        return;
    }
    std::size_t start = 0;
    while (start < contents.size()) {
        const auto newline = contents.find('\n', start);
        if (newline == std::string::npos) {
            lines_.push_back({contents.substr(start), ""});
            break;
        }
        Line line{contents.substr(start, newline - start), "\n"};
        if (!line.body.empty() && line.body.back() == '\r') {
            line.body.pop_back();
            line.end = "\r\n";
        }
        if (lines_.empty()) {
            eol_ = line.end;
        }
        lines_.push_back(std::move(line));
        start = newline + 1;
    }
}

std::size_t IniProfile::findSection(const std::string& section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (sectionHeader(lines_[i].body, name) && equalNoCase(name, section)) {
            return i;
        }
    }
    return lines_.size();
}

void IniProfile::appendLine(std::string body) {
    // A file that ended without a line end still does; the old last line gets one.
    Line line{std::move(body), eol_};
    if (!lines_.empty() && lines_.back().end.empty()) {
        lines_.back().end = eol_;
        line.end.clear();
    }
    lines_.push_back(std::move(line));
}

void IniProfile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value) || key.empty() ||
        key.find('=') != key.npos || section.find(']') != section.npos) {
        throw std::invalid_argument("IniProfile: text would break the file's structure");
    }
    const std::string entry = key + "=" + value;
    const std::size_t header = findSection(section);
    if (header == lines_.size()) {
        appendLine("[" + section + "]");
        appendLine(entry);
        return;
    }
    std::size_t lastFilled = header;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        std::string_view ignored;
        if (sectionHeader(lines_[i].body, ignored)) {
            break;
        }
        if (keyLine(lines_[i].body, key)) {
            lines_[i].body = entry;
            return;
        }
        if (!isBlank(lines_[i].body)) {
            lastFilled = i;
        }
    }
    // Blank lines that separate this section from the next stay after the new key.
    if (lastFilled + 1 == lines_.size()) {
        appendLine(entry);
    } else {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastFilled + 1),
                      Line{entry, eol_});
    }
}

std::string IniProfile::text() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line.body;
        out += line.end;
    }
    return out;
}

void IniProfile::Commit() const {
    replaceFile(path_, text());
}

}  // namespace beamlink
