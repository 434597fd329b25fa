#pragma once
// Command-line parsing shared by the commands: options with a fixed number of values,
// positional arguments, and the typed values the commands share (track lists, numbers).

#include <cstddef>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::cli {

struct OptionSpec {
    std::string_view name;  // "--tracks"
    int valueCount = 0;     // 0 for a flag
};

class Arguments {
public:
    Arguments(std::span<const std::string> args, std::span<const OptionSpec> options);
    Arguments(std::span<const std::string> args, std::initializer_list<OptionSpec> options)
        : Arguments(args, std::span<const OptionSpec>(options.begin(), options.size())) {}

    // Empty when the arguments were well formed; else a message for standard error.
    [[nodiscard]] const std::string& error() const noexcept { return error_; }
    [[nodiscard]] const std::vector<std::string>& positional() const noexcept { return positional_; }
    [[nodiscard]] bool has(std::string_view option) const;
    // The values of an option that was given (empty when it was not).
    [[nodiscard]] std::vector<std::string> values(std::string_view option) const;
    [[nodiscard]] std::optional<std::string> value(std::string_view option) const;

private:
    std::string error_;
    std::vector<std::string> positional_;
    std::map<std::string, std::vector<std::string>, std::less<>> given_;
};

// A whole decimal number, or nothing.
std::optional<long long> parseInteger(std::string_view text);
// A finite decimal number, or nothing.
std::optional<double> parseNumber(std::string_view text);

// "1,3-5" (1-based rows) as 0-based rows. Rows above rowCount are an error.
struct TrackListResult {
    std::set<int> rows;
    std::string error;
};
TrackListResult parseTrackList(std::string_view text, std::size_t rowCount);

// JSON text of a string (quoted, escaped).
std::string jsonString(std::string_view text);
// JSON text of a number: integers without a fraction, others in the shortest form that
// reads back; non-finite values as null.
std::string jsonNumber(double value);

}  // namespace orvane::cli
