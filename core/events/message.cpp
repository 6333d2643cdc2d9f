#include <charconv>
#include <string>

#include "core/events/support.hpp"
#include "core/events/validators.hpp"

namespace vorn {

namespace {

// Spells "metadata.mentions[i]" and "metadata.mentions[i].field" into one buffer reused across
// the elements. Only called once an issue is certain, so a clean payload never builds a path.
class MentionPath {
  public:
    std::string_view element(std::size_t index) {
        buffer_.assign("metadata.mentions[");
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, index).ptr;
        buffer_.append(digits, end);
        buffer_ += ']';
        return buffer_;
    }

    std::string_view field(std::size_t index, std::string_view name) {
        element(index);
        buffer_ += '.';
        buffer_ += name;
        return buffer_;
    }

  private:
    std::string buffer_;
};

void check_mention(const JsonObject& mention, std::size_t index, MentionPath& path, Validation& v) {
    const Json* id = mention.find("id");
    if (id == nullptr) {
        v.missing(path.field(index, "id"));
    } else if (id->if_string() == nullptr) {
        v.wrong_type(path.field(index, "id"), "string");
    }
    for (const std::string_view name : {"username", "handle", "name"}) {
        const Json* value = mention.find(name);
        if (value != nullptr && !value->is_null() && value->if_string() == nullptr) {
            v.wrong_type(path.field(index, name), "string");
        }
    }
}

// `target` is the output's metadata object, or null when the output holds none to normalize.
void check_mentions(const JsonObject* metadata, JsonObject* target, Validation& v) {
    const Json* mentions = metadata != nullptr ? metadata->find("mentions") : nullptr;
    if (mentions == nullptr || mentions->is_null()) {
        if (target != nullptr) target->set("mentions", Json::array(target->resource()));
        return;
    }
    const JsonArray* items = mentions->if_array();
    if (items == nullptr) {
        v.wrong_type("metadata.mentions", "array");
        return;
    }
    MentionPath path;
    for (std::size_t i = 0; i < items->size(); ++i) {
        if (const JsonObject* mention = (*items)[i].if_object()) {
            check_mention(*mention, i, path, v);
        } else {
            v.wrong_type(path.element(i), "object");
        }
    }
}

void check_metadata(const JsonObject& in, JsonObject& out, Validation& v) {
    const Json* metadata = in.find("metadata");
    if (metadata == nullptr || metadata->is_null()) {
        Json& created = out.set("metadata", Json::object(out.resource()));
        check_mentions(nullptr, created.if_object(), v);
    } else if (const JsonObject* given = metadata->if_object()) {
        Json* copied = out.find("metadata");
        check_mentions(given, copied != nullptr ? copied->if_object() : nullptr, v);
    } else {
        v.wrong_type("metadata", "object");
    }
}

void check_attachments(const JsonObject& in, JsonObject& out, Validation& v) {
    const Json* attachments = in.find("attachments");
    if (attachments == nullptr || attachments->is_null()) {
        out.set("attachments", Json::array(out.resource()));
    } else if (attachments->if_array() == nullptr) {
        v.wrong_type("attachments", "array");
    }
}

}  // namespace

void validate_message(const JsonObject& in, JsonObject& out, Validation& v) {
    for (const std::string_view key : {"id", "content", "message_type", "sender_type", "sender_id",
                                       "inserted_at", "updated_at"}) {
        require_string(in, key, v);
    }
    optional_nullable_string(in, "sender_name", v);
    check_metadata(in, out, v);
    check_attachments(in, out, v);
}

}  // namespace vorn
