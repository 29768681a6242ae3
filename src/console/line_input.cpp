#include "console/line_input.h"

#include "console/number_parse.h"

#include <optional>

namespace tarnvex {

namespace {

/// The line typed after the prompt, or nothing when the input ended before a line feed.
Result<std::optional<std::string>> promptForLine(BufferedReader& in, BufferedWriter& out,
                                                 std::string_view prompt) {
    if (auto written = out.write(prompt); !written) {
        return std::unexpected(written.error());
    }
    if (auto written = out.write("> "); !written) {
        return std::unexpected(written.error());
    }
    if (auto flushed = out.flush(); !flushed) {
        return std::unexpected(flushed.error());
    }
    std::string line;
    auto complete = in.readUntilLineFeed(line);
    if (!complete) {
        return std::unexpected(complete.error());
    }
    if (!*complete) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    line.shrink_to_fit();
    return line;
}

Result<void> complain(BufferedWriter& out, const SmallNumber& parsed, std::string_view line) {
    switch (parsed.kind) {
    case SmallNumber::Kind::NotANumber:
        for (const std::string_view piece :
             {std::string_view("\""), line, std::string_view("\" is not a valid number.\n"),
              std::string_view("Please enter a valid number\n")}) {
            if (auto written = out.write(piece); !written) {
                return written;
            }
        }
        return {};
    case SmallNumber::Kind::TooLarge:
        return out.write("Please enter a small positive number\n");
    case SmallNumber::Kind::Number:
        break;
    }
    return out.write("\nInvalid selection\n");
}

} // namespace

Result<std::string> input(BufferedReader& in, BufferedWriter& out, std::string_view prompt) {
    auto line = promptForLine(in, out, prompt);
    if (!line) {
        return std::unexpected(line.error());
    }
    return std::move(*line).value_or(std::string());
}

Result<std::uint8_t> inputNumberBetweenOneAnd(BufferedReader& in, BufferedWriter& out,
                                              std::uint8_t upperBound) {
    for (;;) {
        auto line = promptForLine(in, out, "SELECT");
        if (!line) {
            return std::unexpected(line.error());
        }
        const std::optional<std::string>& typed = *line;
        if (!typed.has_value()) {
            // An ended input would answer every prompt with an empty line for ever. The line feed
            // the player never typed ends the prompt's line, so the error stands on its own; a
            // console that cannot take it changes nothing about why the run ends.
            if (out.write("\n")) {
                (void)out.flush();
            }
            return std::unexpected(Error::EndOfStream);
        }
        const std::string& text = typed.value();
        const SmallNumber parsed = parseSmallNumber(text);
        if (parsed.kind == SmallNumber::Kind::Number && parsed.value >= 1 &&
            parsed.value <= upperBound) {
            return parsed.value;
        }
        if (auto complained = complain(out, parsed, text); !complained) {
            return std::unexpected(complained.error());
        }
    }
}

} // namespace tarnvex
