// A small, strict XML reader for checking the preview's pictures: it accepts
// only well-formed documents (valid UTF-8, characters XML allows, balanced
// tags, quoted attributes, known entities) and returns the element tree.
#pragma once

#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace textmatte::testing {

struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text; // character data directly inside, entities decoded
    std::vector<XmlElement> children;

    // Every descendant (or self) with the given name, in document order.
    void collect(const std::string& tag, std::vector<const XmlElement*>& out) const {
        if (name == tag) out.push_back(this);
        for (const XmlElement& c : children)
            c.collect(tag, out);
    }
    std::vector<const XmlElement*> all(const std::string& tag) const {
        std::vector<const XmlElement*> out;
        collect(tag, out);
        return out;
    }
};

class XmlReader {
  public:
    explicit XmlReader(std::string_view doc) : doc_(doc) {}

    std::optional<XmlElement> document(std::string& error) {
        if (!valid_characters()) return fail(error, "invalid UTF-8 or a character XML forbids");
        if (doc_.substr(0, 5) == "<?xml") {
            const auto end = doc_.find("?>");
            if (end == std::string_view::npos) return fail(error, "unterminated declaration");
            pos_ = end + 2;
        }
        skip_space();
        XmlElement root;
        if (!element(root)) return fail(error, error_ + " at byte " + std::to_string(pos_));
        skip_space();
        if (pos_ != doc_.size()) return fail(error, "content after the root element");
        return root;
    }

  private:
    static std::optional<XmlElement> fail(std::string& error, const std::string& why) {
        error = why;
        return std::nullopt;
    }

    static void append_utf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xc0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xe0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        }
    }

    static bool allowed(std::uint32_t cp) {
        return cp == 0x9 || cp == 0xa || cp == 0xd || (cp >= 0x20 && cp <= 0xd7ff) ||
               (cp >= 0xe000 && cp <= 0xfffd) || (cp >= 0x10000 && cp <= 0x10ffff);
    }

    bool valid_characters() const {
        std::size_t i = 0;
        while (i < doc_.size()) {
            const auto c = static_cast<unsigned char>(doc_[i]);
            int extra = c < 0x80         ? 0
                        : (c >> 5) == 6  ? 1
                        : (c >> 4) == 14 ? 2
                        : (c >> 3) == 30 ? 3
                                         : -1;
            if (extra < 0 ||
                i + static_cast<std::size_t>(extra) >= doc_.size() + (extra == 0 ? 1 : 0))
                return false;
            std::uint32_t cp = extra == 0 ? c : c & (0x3f >> extra);
            for (int k = 1; k <= extra; ++k) {
                const auto d = static_cast<unsigned char>(doc_[i + static_cast<std::size_t>(k)]);
                if ((d >> 6) != 2) return false;
                cp = (cp << 6) | (d & 0x3f);
            }
            const std::uint32_t min[] = {0, 0x80, 0x800, 0x10000};
            if (cp < min[extra] || !allowed(cp)) return false;
            i += static_cast<std::size_t>(extra) + 1;
        }
        return true;
    }

    bool at_end() const { return pos_ >= doc_.size(); }
    char peek() const { return at_end() ? '\0' : doc_[pos_]; }
    void skip_space() {
        while (!at_end() && (peek() == ' ' || peek() == '\n' || peek() == '\r' || peek() == '\t'))
            ++pos_;
    }
    bool error(const std::string& why) {
        error_ = why;
        return false;
    }

    bool name(std::string& out) {
        const std::size_t start = pos_;
        while (!at_end() && (std::isalnum(static_cast<unsigned char>(peek())) || peek() == '-' ||
                             peek() == '_' || peek() == ':' || peek() == '.'))
            ++pos_;
        out = std::string(doc_.substr(start, pos_ - start));
        return !out.empty() && !std::isdigit(static_cast<unsigned char>(out[0]));
    }

    bool reference(std::string& out) {
        const auto end = doc_.find(';', pos_);
        if (end == std::string_view::npos) return error("unterminated entity");
        const std::string_view ref = doc_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (ref == "amp")
            out += '&';
        else if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "quot")
            out += '"';
        else if (ref == "apos")
            out += '\'';
        else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string digits(ref.substr(hex ? 2 : 1));
            if (digits.empty() || digits.size() > 8) return error("bad character reference");
            for (char d : digits)
                if (!(hex ? std::isxdigit(static_cast<unsigned char>(d))
                          : std::isdigit(static_cast<unsigned char>(d))))
                    return error("bad character reference");
            const auto cp = static_cast<std::uint32_t>(std::stoul(digits, nullptr, hex ? 16 : 10));
            if (!allowed(cp)) return error("reference to a forbidden character");
            append_utf8(out, cp);
        } else {
            return error("unknown entity &" + std::string(ref) + ";");
        }
        return true;
    }

    bool attribute_value(std::string& out) {
        const char quote = peek();
        if (quote != '"' && quote != '\'') return error("unquoted attribute");
        ++pos_;
        while (!at_end() && peek() != quote) {
            if (peek() == '<') return error("'<' in an attribute");
            if (peek() == '&') {
                if (!reference(out)) return false;
            } else {
                out += doc_[pos_++];
            }
        }
        if (at_end()) return error("unterminated attribute");
        ++pos_;
        return true;
    }

    bool element(XmlElement& e) {
        if (peek() != '<') return error("expected an element");
        ++pos_;
        if (!name(e.name)) return error("bad element name");
        for (;;) {
            const std::size_t before = pos_;
            skip_space();
            if (peek() == '/' || peek() == '>') break;
            if (pos_ == before) return error("attributes must be separated by space");
            std::string key, value;
            if (!name(key)) return error("bad attribute name");
            skip_space();
            if (peek() != '=') return error("expected '='");
            ++pos_;
            skip_space();
            if (!attribute_value(value)) return false;
            if (!e.attributes.emplace(key, value).second) return error("repeated attribute");
        }
        if (peek() == '/') {
            ++pos_;
            if (peek() != '>') return error("expected '>'");
            ++pos_;
            return true;
        }
        ++pos_; // '>'
        for (;;) {
            if (at_end()) return error("unclosed element " + e.name);
            if (doc_.substr(pos_, 2) == "</") {
                pos_ += 2;
                std::string closing;
                if (!name(closing) || closing != e.name) return error("mismatched closing tag");
                skip_space();
                if (peek() != '>') return error("expected '>'");
                ++pos_;
                return true;
            }
            if (peek() == '<') {
                e.children.emplace_back();
                if (!element(e.children.back())) return false;
            } else if (peek() == '&') {
                if (!reference(e.text)) return false;
            } else {
                if (doc_.substr(pos_, 3) == "]]>") return error("']]>' in text");
                e.text += doc_[pos_++];
            }
        }
    }

    std::string_view doc_;
    std::size_t pos_ = 0;
    std::string error_;
};

inline std::optional<XmlElement> parse_xml(std::string_view doc, std::string& error) {
    return XmlReader(doc).document(error);
}

} // namespace textmatte::testing
