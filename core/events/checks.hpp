// Field checks and normalizations shared by the event validators, over any document (see
// core/document.hpp). `key` is both the field looked up and the issue path. Checks never stop
// early: each appends its issues and returns. A normalization finishes reading before it writes,
// so it may edit the very object it reads, and writes nothing into a document that is only read.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string_view>

#include "core/document.hpp"
#include "core/error.hpp"
#include "core/json.hpp"

namespace vorn {

template <class D>
bool is_kind(const D& doc, typename D::Node n, Json::Kind kind) {
    return n && doc.kind(n) == kind;
}

template <class D>
bool is_null_or_absent(const D& doc, typename D::Node n) {
    return !n || doc.kind(n) == Json::Kind::Null;
}

// Present or not, must be a string.
template <class D>
void require_string(const D& doc, typename D::Node object, FieldName key, Validation& v) {
    const typename D::Node value = doc.find(object, key);
    if (!value) {
        v.missing(key.text());
    } else if (doc.kind(value) != Json::Kind::String) {
        v.wrong_type(key.text(), "string");
    }
}

// Must be present, as a string or null.
template <class D>
void require_nullable_string(const D& doc, typename D::Node object, FieldName key, Validation& v) {
    const typename D::Node value = doc.find(object, key);
    if (!value) {
        v.missing(key.text());
    } else if (doc.kind(value) != Json::Kind::String && doc.kind(value) != Json::Kind::Null) {
        v.wrong_type(key.text(), "string");
    }
}

// Must be present, as one of the `allowed` strings.
template <class D>
void require_closed_string(const D& doc, typename D::Node object, FieldName key,
                           std::initializer_list<std::string_view> allowed, Validation& v) {
    const typename D::Node value = doc.find(object, key);
    if (!value) {
        v.missing(key.text());
    } else if (doc.kind(value) != Json::Kind::String) {
        v.wrong_type(key.text(), "string");
    } else {
        const std::string_view text = doc.text(value);
        for (const std::string_view candidate : allowed) {
            if (text == candidate) return;
        }
        v.not_one_of(key.text(), allowed);
    }
}

// Absent is accepted; present must be of `kind` (or null, when `nullable`).
template <class D>
void optional_of_kind(const D& doc, typename D::Node object, FieldName key, Json::Kind kind,
                      bool nullable, std::string_view expected, Validation& v) {
    const typename D::Node value = doc.find(object, key);
    if (!value || doc.kind(value) == kind || (nullable && doc.kind(value) == Json::Kind::Null)) {
        return;
    }
    v.wrong_type(key.text(), expected);
}

template <class D>
void optional_string(const D& doc, typename D::Node object, FieldName key, Validation& v) {
    optional_of_kind(doc, object, key, Json::Kind::String, false, "string", v);
}
template <class D>
void optional_nullable_string(const D& doc, typename D::Node object, FieldName key, Validation& v) {
    optional_of_kind(doc, object, key, Json::Kind::String, true, "string", v);
}
template <class D>
void optional_boolean(const D& doc, typename D::Node object, FieldName key, Validation& v) {
    optional_of_kind(doc, object, key, Json::Kind::Bool, false, "boolean", v);
}
template <class D>
void optional_array(const D& doc, typename D::Node object, FieldName key, Validation& v) {
    optional_of_kind(doc, object, key, Json::Kind::Array, false, "array", v);
}

// Present null is removed; any other non-string is a wrong type.
template <class D>
void optional_string_null_as_absent(D& doc, typename D::Node object, FieldName key, Validation& v) {
    const typename D::Node value = doc.find(object, key);
    if (!value || doc.kind(value) == Json::Kind::String) return;
    if (doc.kind(value) != Json::Kind::Null) {
        v.wrong_type(key.text(), "string");
    } else if (doc.writable()) {
        doc.erase(object, key);
    }
}

// "retryable" becomes true only when it is the boolean true.
template <class D>
void normalize_retryable(D& doc, typename D::Node object) {
    const typename D::Node value = doc.find(object, "retryable");
    const bool flag = is_kind(doc, value, Json::Kind::Bool) && doc.boolean(value);
    if (doc.writable()) doc.set_bool(object, "retryable", flag);
}

// A present "retry_after" becomes a whole number of the signed 64-bit range, or null.
template <class D>
void normalize_retry_after(D& doc, typename D::Node object) {
    const typename D::Node value = doc.find(object, "retry_after");
    if (!value || !doc.writable()) return;
    // -2^63 and 2^63 are exact doubles; anything whole in [-2^63, 2^63) converts without overflow.
    constexpr double kTwoPow63 = 9223372036854775808.0;
    switch (doc.kind(value)) {
        case Json::Kind::Int:
            return doc.set_int(object, "retry_after", doc.int_value(value));
        case Json::Kind::UInt:
            if (doc.uint_value(value) <=
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return doc.set_int(object, "retry_after",
                                   static_cast<std::int64_t>(doc.uint_value(value)));
            }
            break;
        case Json::Kind::Float: {
            // NaN fails every comparison, infinities the range, so only finite whole values pass.
            const double d = doc.float_value(value);
            if (d >= -kTwoPow63 && d < kTwoPow63 && std::trunc(d) == d) {
                return doc.set_int(object, "retry_after", static_cast<std::int64_t>(d));
            }
            break;
        }
        default:
            break;
    }
    doc.set_null(object, "retry_after");
}

// "is_remote" and "is_external" are aliases: each must be a boolean or null, and one given alone
// is copied to the other. Both given: each keeps its own value, even when they disagree.
template <class D>
void normalize_remote_alias(D& doc, typename D::Node object, Validation& v) {
    const typename D::Node remote = doc.find(object, "is_remote");
    const typename D::Node external = doc.find(object, "is_external");
    const bool remote_flag = is_kind(doc, remote, Json::Kind::Bool);
    const bool external_flag = is_kind(doc, external, Json::Kind::Bool);
    if (!is_null_or_absent(doc, remote) && !remote_flag) v.wrong_type("is_remote", "boolean");
    if (!is_null_or_absent(doc, external) && !external_flag) v.wrong_type("is_external", "boolean");
    if (!doc.writable()) return;
    if (external_flag) {
        if (!remote_flag) doc.set_bool(object, "is_remote", doc.boolean(external));
    } else if (remote_flag) {
        doc.set_bool(object, "is_external", doc.boolean(remote));
    }
}

}  // namespace vorn
