// The prompt panel's size and the result of a run.

#include "app/PromptPanel.h"

#include <array>

namespace orvane::app {
namespace {

// White space and line breaks, in UTF-8: the ASCII ones, then no-break space, next line,
// the Unicode spaces, line and paragraph separators, and the ideographic space.
constexpr std::array<std::string_view, 24> whiteSpace = {
    " ",            "\t",           "\n",           "\v",           "\f",           "\r",
    "\xC2\xA0",     "\xC2\x85",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE3\x80\x80",
};

// The length of the white-space character text starts with (or ends with, at the back), or 0.
std::size_t whiteSpaceAtFront(std::string_view text) {
    for (const std::string_view space : whiteSpace) {
        if (text.starts_with(space)) return space.size();
    }
    return 0;
}

std::size_t whiteSpaceAtBack(std::string_view text) {
    for (const std::string_view space : whiteSpace) {
        if (text.ends_with(space)) return space.size();
    }
    return 0;
}

}  // namespace

int promptPanelContentHeight(const PromptRequest& request) noexcept {
    const bool input = request.inputValue.has_value();
    const bool checkbox = request.checkboxTitle.has_value();
    if (input && checkbox) return 260;
    if (input) return 230;
    if (checkbox) return 218;
    return 188;
}

PromptResult promptResult(const PromptRequest& request, ModalResponse response,
                          const std::optional<std::string>& rawInput, bool checkboxOn) {
    PromptResult result;
    result.response = response;
    if (request.inputValue) result.input = trimmedText(rawInput.value_or(std::string()));
    result.checkboxOn = request.checkboxTitle.has_value() && checkboxOn;
    return result;
}

std::string trimmedText(std::string_view text) {
    for (std::size_t n = whiteSpaceAtFront(text); n != 0; n = whiteSpaceAtFront(text)) text.remove_prefix(n);
    for (std::size_t n = whiteSpaceAtBack(text); n != 0; n = whiteSpaceAtBack(text)) text.remove_suffix(n);
    return std::string(text);
}

}  // namespace orvane::app
