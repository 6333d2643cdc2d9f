// The validator of "message_created" and "message_updated" over any document: required strings,
// an optional sender name, and "metadata" (with its "mentions") and "attachments", both defaulted
// when absent or null.
#pragma once

#include <string>
#include <string_view>

#include "core/events/checks.hpp"

namespace vorn {

// Spells "metadata.mentions[i]" and "metadata.mentions[i].field" into one buffer reused across
// the elements. Only called once an issue is certain, so a clean payload never builds a path.
class MentionPath {
  public:
    std::string_view element(std::size_t index);
    std::string_view field(std::size_t index, std::string_view name);

  private:
    std::string buffer_;
};

template <class D>
void check_mention(const D& doc, typename D::Node mention, std::size_t index, MentionPath& path,
                   Validation& v) {
    const typename D::Node id = doc.find(mention, "id");
    if (!id) {
        v.missing(path.field(index, "id"));
    } else if (doc.kind(id) != Json::Kind::String) {
        v.wrong_type(path.field(index, "id"), "string");
    }
    for (const FieldName name : {FieldName("username"), FieldName("handle"), FieldName("name")}) {
        const typename D::Node value = doc.find(mention, name);
        if (value && doc.kind(value) != Json::Kind::Null && doc.kind(value) != Json::Kind::String) {
            v.wrong_type(path.field(index, name.text()), "string");
        }
    }
}

// `metadata` is the payload's metadata object, or absent when there is none.
template <class D>
void check_mentions(D& doc, typename D::Node metadata, Validation& v) {
    const typename D::Node mentions = metadata ? doc.find(metadata, "mentions") : metadata;
    if (is_null_or_absent(doc, mentions)) {
        if (metadata && doc.writable()) doc.set_empty_array(metadata, "mentions");
        return;
    }
    if (doc.kind(mentions) != Json::Kind::Array) {
        v.wrong_type("metadata.mentions", "array");
        return;
    }
    MentionPath path;
    const std::size_t n = doc.size(mentions);
    for (std::size_t i = 0; i < n; ++i) {
        const typename D::Node mention = doc.item(mentions, i);
        if (doc.kind(mention) == Json::Kind::Object) {
            check_mention(doc, mention, i, path, v);
        } else {
            v.wrong_type(path.element(i), "object");
        }
    }
}

template <class D>
void validate_message(D& doc, typename D::Node in, Validation& v) {
    for (const FieldName key : {FieldName("id"), FieldName("content"), FieldName("message_type"),
                                FieldName("sender_type"), FieldName("sender_id"),
                                FieldName("inserted_at"), FieldName("updated_at")}) {
        require_string(doc, in, key, v);
    }
    optional_nullable_string(doc, in, "sender_name", v);
    const typename D::Node metadata = doc.find(in, "metadata");
    if (is_null_or_absent(doc, metadata)) {
        if (doc.writable()) check_mentions(doc, doc.set_empty_object(in, "metadata"), v);
    } else if (doc.kind(metadata) == Json::Kind::Object) {
        check_mentions(doc, metadata, v);
    } else {
        v.wrong_type("metadata", "object");
    }
    const typename D::Node attachments = doc.find(in, "attachments");
    if (is_null_or_absent(doc, attachments)) {
        if (doc.writable()) doc.set_empty_array(in, "attachments");
    } else if (doc.kind(attachments) != Json::Kind::Array) {
        v.wrong_type("attachments", "array");
    }
}

}  // namespace vorn
