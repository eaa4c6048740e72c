#include "platform/linux/KdeProxyFile.h"

#include "platform/linux/DesktopProxyValue.h"

#include <optional>

namespace kestrovan {

namespace {

constexpr std::string_view kProxyGroup = "Proxy Settings";
constexpr std::string_view kHttpScheme = "http://";

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

// The group a header line opens ("[Proxy Settings]" -> "Proxy Settings"); nullopt for other lines.
std::optional<std::string_view> GroupHeader(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return std::nullopt;
    }
    return line.substr(1, line.size() - 2);
}

// The key of a "key=value" line; nullopt for comments, blanks and headers.
std::optional<std::string_view> EntryKey(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == '[') {
        return std::nullopt;
    }
    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return Trim(trimmed.substr(0, equals));
}

std::string Unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's':
            out += ' ';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += '\\';
            out += value[i];
        }
    }
    return out;
}

std::string Escape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == ' ' && (i == 0 || i + 1 == value.size())) {
            out += "\\s"; // KConfig trims plain blanks at either end
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

std::optional<std::string> KdeConfigEntry(std::string_view fileText, std::string_view group,
                                          std::string_view key) {
    std::optional<std::string> found;
    bool inGroup = false;
    for (const std::string_view line : SplitLines(fileText)) {
        if (const auto header = GroupHeader(line)) {
            inGroup = *header == group;
            continue;
        }
        if (const auto entryKey = EntryKey(line); inGroup && entryKey && *entryKey == key) {
            const std::string_view trimmed = Trim(line);
            found = Unescape(Trim(trimmed.substr(trimmed.find('=') + 1)));
        }
    }
    return found;
}

std::string SetKdeConfigEntries(std::string_view fileText, std::string_view group,
                                const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::string> lines;
    for (const std::string_view line : SplitLines(fileText)) {
        lines.emplace_back(line);
    }
    std::vector<bool> written(entries.size(), false);
    std::optional<std::size_t> insertAt; // after the last entry line of the group's last occurrence
    bool inGroup = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const auto header = GroupHeader(lines[i])) {
            inGroup = *header == group;
            if (inGroup) {
                insertAt = i + 1;
            }
            continue;
        }
        if (!inGroup) {
            continue;
        }
        if (!Trim(lines[i]).empty()) {
            insertAt = i + 1;
        }
        const auto key = EntryKey(lines[i]);
        for (std::size_t e = 0; key && e < entries.size(); ++e) {
            if (*key == entries[e].first) {
                lines[i] = entries[e].first + "=" + Escape(entries[e].second);
                written[e] = true;
            }
        }
    }

    std::vector<std::string> missing;
    for (std::size_t e = 0; e < entries.size(); ++e) {
        if (!written[e]) {
            missing.push_back(entries[e].first + "=" + Escape(entries[e].second));
        }
    }
    if (!insertAt && !missing.empty()) {
        if (!lines.empty() && !Trim(lines.back()).empty()) {
            lines.emplace_back();
        }
        lines.push_back("[" + std::string(group) + "]");
        insertAt = lines.size();
    }
    if (insertAt) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), missing.begin(), missing.end());
    }

    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += '\n';
    }
    return out;
}

std::string FormatKdeProxyUrl(const ProxyEndpoint& endpoint) {
    if (endpoint.port < 0 || endpoint.host.empty()) {
        return endpoint.host;
    }
    const bool ipv6 = endpoint.host.find(':') != std::string::npos;
    return std::string(kHttpScheme) + (ipv6 ? "[" + endpoint.host + "]" : endpoint.host) + " " +
           std::to_string(endpoint.port);
}

ProxyEndpoint ParseKdeProxyUrl(std::string_view text) {
    const ProxyEndpoint whole{std::string(text), text.empty() ? 0 : -1};
    if (!text.starts_with(kHttpScheme)) {
        return whole;
    }
    const std::string_view rest = text.substr(kHttpScheme.size());
    const auto space = rest.rfind(' ');
    if (space == std::string_view::npos) {
        return whole;
    }
    std::string_view host = rest.substr(0, space);
    const auto port = ParsePortNumber(rest.substr(space + 1));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    // Only a text that formats back to itself counts as host and port.
    if (!port || host.empty() || FormatKdeProxyUrl(ProxyEndpoint{std::string(host), *port}) != text) {
        return whole;
    }
    return ProxyEndpoint{std::string(host), *port};
}

DesktopProxyValue ReadKdeProxy(std::string_view fileText) {
    DesktopProxyValue value;
    const std::string type = KdeConfigEntry(fileText, kProxyGroup, "ProxyType").value_or("0");
    if (type == "0") {
        value.mode = DesktopProxyMode::None;
    } else if (type == "1") {
        value.mode = DesktopProxyMode::Manual;
    } else {
        value.mode = DesktopProxyMode::Other;
        value.otherMode = type;
    }
    value.http = ParseKdeProxyUrl(KdeConfigEntry(fileText, kProxyGroup, "httpProxy").value_or(""));
    value.https = ParseKdeProxyUrl(KdeConfigEntry(fileText, kProxyGroup, "httpsProxy").value_or(""));
    return value;
}

std::string WriteKdeProxy(std::string_view fileText, const DesktopProxyValue& value) {
    std::string type = "0";
    if (value.mode == DesktopProxyMode::Manual) {
        type = "1";
    } else if (value.mode == DesktopProxyMode::Other) {
        type = value.otherMode;
    }
    return SetKdeConfigEntries(fileText, kProxyGroup,
                               {{"ProxyType", type},
                                {"httpProxy", FormatKdeProxyUrl(value.http)},
                                {"httpsProxy", FormatKdeProxyUrl(value.https)}});
}

} // namespace kestrovan
