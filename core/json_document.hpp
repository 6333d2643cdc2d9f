// The core's own JSON value as a document (see document.hpp): used by the core's tests and for
// values the core stores. A writable document normalizes the value in place; new values live in
// the edited object's memory resource.
#pragma once

#include "core/document.hpp"
#include "core/json.hpp"

namespace vorn {

class JsonDocument {
  public:
    using Node = const Json*;

    // Reads `root` only.
    static JsonDocument reader() { return JsonDocument(false); }
    // Reads and normalizes in place: nodes handed out must point into a value the caller may
    // change.
    static JsonDocument editor() { return JsonDocument(true); }

    Json::Kind kind(Node n) const { return n->kind(); }
    Node find(Node object, FieldName key) const { return object->if_object()->find(key.text()); }
    std::string_view text(Node n) const { return n->if_string()->text(); }
    TextRef text_ref(Node n) const { return TextRef::of(*n->if_string()); }
    bool boolean(Node n) const { return *n->if_bool(); }
    std::int64_t int_value(Node n) const { return *n->if_int(); }
    std::uint64_t uint_value(Node n) const { return *n->if_uint(); }
    double float_value(Node n) const { return *n->if_float(); }
    std::size_t size(Node array) const { return array->if_array()->size(); }
    Node item(Node array, std::size_t i) const { return &(*array->if_array())[i]; }

    bool writable() const { return writable_; }
    void set_bool(Node object, FieldName key, bool b) { set(object, key, Json::boolean(b)); }
    void set_int(Node object, FieldName key, std::int64_t v) { set(object, key, Json::integer(v)); }
    void set_null(Node object, FieldName key) { set(object, key, Json::null()); }
    Node set_empty_array(Node object, FieldName key) {
        return &set(object, key, Json::array(members(object).resource()));
    }
    Node set_empty_object(Node object, FieldName key) {
        return &set(object, key, Json::object(members(object).resource()));
    }
    void erase(Node object, FieldName key) { members(object).erase(key.text()); }

  private:
    explicit JsonDocument(bool writable) : writable_(writable) {}
    // Only an editor writes, and an editor's nodes point into a value its caller may change.
    static JsonObject& members(Node object) { return *const_cast<Json*>(object)->if_object(); }
    Json& set(Node object, FieldName key, Json value) {
        return members(object).set(key.text(), std::move(value));
    }

    bool writable_;
};

}  // namespace vorn
