#pragma once
// The application's own small modal message panel: a message, optionally a text input and a
// checkbox, an OK and an optional Cancel button.

#include <optional>
#include <string>

namespace orvane::app {

enum class ModalResponse { cancel = 0, ok = 1 };

struct PromptRequest {
    std::string message;
    std::optional<std::string> inputValue;
    std::optional<std::string> checkboxTitle;
    bool checkboxChecked = false;
    std::string okTitle = "OK";
    std::optional<std::string> cancelTitle;
    friend bool operator==(const PromptRequest&, const PromptRequest&) = default;
};

struct PromptResult {
    ModalResponse response = ModalResponse::cancel;
    std::optional<std::string> input;  // trimmed; absent without an input field
    bool checkboxOn = false;
    friend bool operator==(const PromptResult&, const PromptResult&) = default;
};

inline constexpr int promptPanelWidth = 360;
// 260 with an input and a checkbox, 230 with an input, 218 with a checkbox, 188 with neither.
[[nodiscard]] int promptPanelContentHeight(const PromptRequest& request) noexcept;
// The result of a run: the input text trimmed of white space and line breaks.
[[nodiscard]] PromptResult promptResult(const PromptRequest& request, ModalResponse response,
                                        const std::optional<std::string>& rawInput, bool checkboxOn);

// Text trimmed of spaces, tabs and line breaks at both ends.
[[nodiscard]] std::string trimmedText(std::string_view text);

}  // namespace orvane::app
