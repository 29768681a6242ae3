#include "remote/catalogue_parser.h"

#include <array>
#include <cstdint>
#include <new>
#include <nlohmann/json.hpp>
#include <string>

namespace tarnvex {

namespace {

using Json = nlohmann::json;
using EntryText = std::string MinecraftServerEntry::*;

struct Field {
    std::string_view key;
    EntryText member;
};

constexpr std::array<Field, 5> fields{{
    {"loader", &MinecraftServerEntry::loader},
    {"server", &MinecraftServerEntry::server},
    {"version", &MinecraftServerEntry::version},
    {"loaderVersion", &MinecraftServerEntry::loaderVersion},
    {"address", &MinecraftServerEntry::address},
}};

// Builds the entries as the reader reports tokens, stopping at the first that does not fit, so
// nothing is ever kept that would have to be checked afterwards.
class CatalogueReader final : public nlohmann::json_sax<Json> {
public:
    explicit CatalogueReader(std::size_t bodySize) : bodySize_(bodySize) {}

    bool null() override { return fail(Error::UnexpectedToken); }
    bool boolean(bool) override { return fail(Error::UnexpectedToken); }
    bool number_integer(number_integer_t) override { return fail(Error::UnexpectedToken); }
    bool number_unsigned(number_unsigned_t) override { return fail(Error::UnexpectedToken); }
    bool number_float(number_float_t, const string_t&) override {
        return fail(Error::UnexpectedToken);
    }
    bool binary(binary_t&) override { return fail(Error::UnexpectedToken); }

    bool string(string_t& value) override {
        if (state_ != State::Value) {
            return fail(Error::UnexpectedToken);
        }
        entries_.back().*(fields[field_].member) = std::move(value);
        state_ = State::Key;
        return true;
    }

    bool start_object(std::size_t) override {
        if (state_ != State::Element) {
            return fail(Error::UnexpectedToken);
        }
        entries_.emplace_back();
        seen_ = {};
        state_ = State::Key;
        return true;
    }

    bool key(string_t& name) override {
        std::size_t index = 0;
        while (index < fields.size() && fields[index].key != name) {
            ++index;
        }
        if (index == fields.size()) {
            return fail(Error::UnknownField);
        }
        if (seen_[index]) {
            return fail(Error::DuplicateField);
        }
        seen_[index] = true;
        field_ = index;
        state_ = State::Value;
        return true;
    }

    bool end_object() override {
        for (const bool seen : seen_) {
            if (!seen) {
                return fail(Error::MissingField);
            }
        }
        state_ = State::Element;
        return true;
    }

    bool start_array(std::size_t) override {
        if (state_ != State::Top) {
            return fail(Error::UnexpectedToken);
        }
        state_ = State::Element;
        return true;
    }

    bool end_array() override {
        state_ = State::Done;
        return true;
    }

    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& exception) override {
        const std::string_view message = exception.what();
        const bool atEnd = position > bodySize_ ||
                           message.find("unexpected end of input") != std::string_view::npos;
        return fail(atEnd ? Error::UnexpectedEndOfInput : Error::SyntaxError);
    }

    Error error() const { return error_; }
    std::vector<MinecraftServerEntry>& entries() { return entries_; }

private:
    enum class State : std::uint8_t { Top, Element, Key, Value, Done };

    bool fail(Error error) {
        error_ = error;
        return false;
    }

    std::size_t bodySize_;
    State state_ = State::Top;
    std::vector<MinecraftServerEntry> entries_;
    std::array<bool, fields.size()> seen_{};
    std::size_t field_ = 0;
    Error error_ = Error::SyntaxError;
};

} // namespace

Result<std::vector<MinecraftServerEntry>> parseCatalogue(std::string_view body) {
    try {
        CatalogueReader reader(body.size());
        if (!Json::sax_parse(body, &reader, Json::input_format_t::json, true)) {
            return std::unexpected(reader.error());
        }
        return std::move(reader.entries());
    } catch (const std::bad_alloc&) {
        return std::unexpected(Error::OutOfMemory);
    } catch (const nlohmann::json::exception&) {
        return std::unexpected(Error::SyntaxError);
    }
}

} // namespace tarnvex
