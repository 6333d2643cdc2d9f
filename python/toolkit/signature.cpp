#include <deque>
#include <string>

#include "python/toolkit/signature.hpp"

namespace vorn::py {

const char* doc_string(const Signature& sig) {
    // Rendered at registration under the interpreter lock; the storage never moves or shrinks.
    static std::deque<std::string> rendered;
    std::string& out = rendered.emplace_back(sig.name);
    out += '(';
    bool first = true;
    auto separator = [&] {
        if (!first) out += ", ";
        first = false;
    };
    if (sig.method) {
        separator();
        out += "$self";
    }
    bool star_written = false;
    for (const Param& p : sig.params) {
        if (p.keyword_only && !star_written) {
            separator();
            out += '*';
            star_written = true;
        }
        separator();
        out += p.name;
        if (!p.required()) out.append("=").append(p.default_text);
    }
    out += ")\n--\n\n";
    out += sig.doc;
    return out.c_str();
}

}  // namespace vorn::py
