#include "StrictJson.h"

#include <QSet>

#include <optional>

namespace plotrun {

namespace {

// A settings file nests three deep; deeper text is refused by its keys
// anyway, and is not walked, so that no text can exhaust the stack.
constexpr int kMostDepth = 64;

// Walks the text once. A problem ends the walk with its message; text the
// walker does not understand ends it with none.
class StrictWalk {
public:
    explicit StrictWalk(const QByteArray& json) : s_(json) {}

    QString problem()
    {
        value({}, 0);
        return problem_;
    }

private:
    bool stopped() const { return stopped_; }
    void stop() { stopped_ = true; }
    void fail(const QString& problem)
    {
        if (!stopped_)
            problem_ = problem;
        stopped_ = true;
    }

    char peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }
    void space()
    {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
            ++at_;
    }

    static QString keyText(const QString& path)
    {
        return path.isEmpty() ? QString("the text") : "the key \"" + path + "\"";
    }

    void value(const QString& path, int depth)
    {
        if (depth > kMostDepth)
            return stop();
        space();
        const char c = peek();
        if (c == '{')
            return object(path, depth);
        if (c == '[')
            return array(path, depth);
        if (c == '"') {
            if (!string())
                stop();
            return;
        }
        if (c == '-' || (c >= '0' && c <= '9') || c == '.' || c == '+')
            return number(path);
        // true, false, null or something Qt will name.
        while (at_ < s_.size() && s_[at_] >= 'a' && s_[at_] <= 'z')
            ++at_;
    }

    void object(const QString& path, int depth)
    {
        ++at_; // {
        QSet<QString> keys;
        space();
        if (peek() == '}') {
            ++at_;
            return;
        }
        while (!stopped()) {
            space();
            if (peek() != '"')
                return stop();
            const std::optional<QString> key = string();
            if (!key)
                return stop();
            const QString keyPath = path.isEmpty() ? *key : path + "." + *key;
            if (keys.contains(*key))
                return fail(keyText(keyPath) + " is given more than once");
            keys.insert(*key);
            space();
            if (peek() != ':')
                return stop();
            ++at_;
            value(keyPath, depth + 1);
            space();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            if (peek() != '}')
                return stop();
            ++at_;
            return;
        }
    }

    void array(const QString& path, int depth)
    {
        ++at_; // [
        space();
        if (peek() == ']') {
            ++at_;
            return;
        }
        while (!stopped()) {
            value(path, depth + 1);
            space();
            if (peek() == ',') {
                ++at_;
                continue;
            }
            if (peek() != ']')
                return stop();
            ++at_;
            return;
        }
    }

    // The text of a string, its escapes resolved, so that "a" and "\u0061"
    // are one key; empty when it is not a whole string.
    std::optional<QString> string()
    {
        ++at_; // "
        QByteArray bytes;
        QString text;
        const auto flush = [&] {
            text += QString::fromUtf8(bytes);
            bytes.clear();
        };
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"') {
                flush();
                return text;
            }
            if (c != '\\') {
                bytes += c;
                continue;
            }
            if (at_ >= s_.size())
                return std::nullopt;
            const char e = s_[at_++];
            static const char kPlain[] = "\"\\/bfnrt";
            static const char kMeant[] = "\"\\/\b\f\n\r\t";
            if (const char* p = std::char_traits<char>::find(kPlain, 8, e)) {
                bytes += kMeant[p - kPlain];
                continue;
            }
            if (e != 'u' || at_ + 4 > s_.size())
                return std::nullopt;
            bool ok = false;
            const ushort unit = s_.mid(at_, 4).toUShort(&ok, 16);
            if (!ok)
                return std::nullopt;
            at_ += 4;
            flush();
            text += QChar(unit);
        }
        return std::nullopt;
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    void number(const QString& path)
    {
        const qsizetype start = at_;
        while (at_ < s_.size() && QByteArray("0123456789+-.eE").contains(s_[at_]))
            ++at_;
        const QByteArray token = s_.mid(start, at_ - start);
        qsizetype i = 0;
        const auto digits = [&] {
            const qsizetype from = i;
            while (i < token.size() && token[i] >= '0' && token[i] <= '9')
                ++i;
            return i - from;
        };
        bool valid = true;
        if (i < token.size() && token[i] == '-')
            ++i;
        if (i < token.size() && token[i] == '0')
            ++i;
        else
            valid = digits() > 0;
        if (valid && i < token.size() && token[i] == '.') {
            ++i;
            valid = digits() > 0;
        }
        if (valid && i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
            ++i;
            if (i < token.size() && (token[i] == '+' || token[i] == '-'))
                ++i;
            valid = digits() > 0;
        }
        if (!valid || i != token.size())
            fail(keyText(path) + " holds " + QString::fromLatin1(token) + ", which is not a number as JSON writes it");
    }

    const QByteArray& s_;
    qsizetype at_ = 0;
    bool stopped_ = false;
    QString problem_;
};

} // namespace

QString strictJsonProblem(const QByteArray& json) { return StrictWalk(json).problem(); }

QString printableKey(const QString& key)
{
    QString out;
    for (const QChar c : key) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
            out += QString("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
        else
            out += c;
    }
    return out;
}

} // namespace plotrun
