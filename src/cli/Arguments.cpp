#include "cli/Arguments.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "support/TextFormat.h"

namespace orvane::cli {

Arguments::Arguments(std::span<const std::string> args, std::span<const OptionSpec> options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() > 1 && arg[0] == '-' && !parseNumber(arg)) {
            const OptionSpec* spec = nullptr;
            for (const auto& option : options) {
                if (option.name == arg) spec = &option;
            }
            if (spec == nullptr) {
                error_ = "unknown option '" + arg + "'";
                return;
            }
            std::vector<std::string> values;
            for (int v = 0; v < spec->valueCount; ++v) {
                if (i + 1 >= args.size()) {
                    error_ = "option " + arg + " needs " + std::to_string(spec->valueCount) +
                             (spec->valueCount == 1 ? " value" : " values");
                    return;
                }
                values.push_back(args[++i]);
            }
            given_[arg] = std::move(values);
        } else {
            positional_.push_back(arg);
        }
    }
}

bool Arguments::has(std::string_view option) const { return given_.find(option) != given_.end(); }

std::vector<std::string> Arguments::values(std::string_view option) const {
    const auto found = given_.find(option);
    return found == given_.end() ? std::vector<std::string>{} : found->second;
}

std::optional<std::string> Arguments::value(std::string_view option) const {
    const auto found = given_.find(option);
    if (found == given_.end() || found->second.empty()) return std::nullopt;
    return found->second.front();
}

std::optional<long long> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<double> parseNumber(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

TrackListResult parseTrackList(std::string_view text, std::size_t rowCount) {
    TrackListResult result;
    auto fail = [&](std::string message) {
        result.rows.clear();
        result.error = std::move(message);
        return result;
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string_view item =
            text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        const std::size_t dash = item.find('-');
        const auto first = parseInteger(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : parseInteger(item.substr(dash + 1));
        if (!first || !last || *first < 1 || *last < *first) {
            return fail("invalid track list '" + std::string(text) + "' (use 1-based rows such as 1,3-5)");
        }
        if (static_cast<unsigned long long>(*last) > rowCount) {
            return fail("track " + std::to_string(*last) + " does not exist (the song has " +
                        std::to_string(rowCount) + " musical tracks)");
        }
        for (long long row = *first; row <= *last; ++row) result.rows.insert(static_cast<int>(row - 1));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return result;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += formatString("\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string jsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        return std::to_string(static_cast<long long>(value));
    }
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : "null";
}

}  // namespace orvane::cli
