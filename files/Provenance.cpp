#include "Provenance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace plotrun {

namespace {

constexpr const char* kSettingLabel = "Setting:";

// Every value of a JSON object under its dotted key; lists stay whole.
void flatten(const QJsonObject& o, const QString& prefix, std::vector<std::pair<QString, QJsonValue>>& out)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = prefix.isEmpty() ? it.key() : prefix + "." + it.key();
        if (it.value().isObject())
            flatten(it.value().toObject(), key, out);
        else
            out.emplace_back(key, it.value());
    }
}

QByteArray compact(const QJsonValue& v)
{
    // A value alone is no JSON document: it is written as the one item of a
    // list, whose brackets are then taken off.
    const QByteArray list = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return list.mid(1, list.size() - 2);
}

std::optional<QJsonValue> valueOf(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text + "]", &error);
    if (doc.isNull() || doc.array().size() != 1)
        return std::nullopt;
    return doc.array().first();
}

bool isKey(const QString& key)
{
    return !key.isEmpty() &&
           std::all_of(key.begin(), key.end(), [](QChar c) { return c.isLetterOrNumber() || c == '.'; });
}

} // namespace

FileDigest fileDigest(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return {hash.result().toHex().toStdString(), file.size()};
}

std::vector<std::string> provenanceLines(const FileDigest& picture, const SavedSettings& s, const QDateTime& when)
{
    const std::string d = s.fields.delimiter;
    std::vector<std::string> lines{
        "Picture SHA-256:" + d + picture.sha256,
        "Picture bytes:" + d + std::to_string(picture.bytes),
        "Plotrun:" + d + PLOTRUN_VERSION,
        "Scanned (UTC):" + d + when.toUTC().toString(Qt::ISODate).toStdString(),
    };
    std::vector<std::pair<QString, QJsonValue>> values;
    flatten(QJsonDocument::fromJson(settingsToJson(s)).object(), {}, values);
    for (const auto& [key, value] : values)
        lines.push_back(kSettingLabel + d + key.toStdString() + d + compact(value).toStdString());
    return lines;
}

SavedSettings settingsFromProvenance(const std::string& text, const std::string& d)
{
    QJsonObject top;
    const std::string label = kSettingLabel + d;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(label, 0) != 0)
            continue;
        // The key is the first part before a delimiter after which a JSON
        // value follows: a delimiter may itself be a dot, as keys hold.
        const std::string rest = line.substr(label.size());
        bool taken = false;
        for (size_t split = rest.find(d); split != std::string::npos && !taken; split = rest.find(d, split + 1)) {
            const QString key = QString::fromStdString(rest.substr(0, split));
            const std::optional<QJsonValue> value = valueOf(QByteArray::fromStdString(rest.substr(split + d.size())));
            if (isKey(key) && value) {
                putAtKey(top, key, *value);
                taken = true;
            }
        }
        if (!taken)
            throw SettingsFileError("the line \"" + line.substr(0, 80) + "\" is not a setting");
    }
    if (top.isEmpty())
        throw SettingsFileError("the text holds no \"Setting:\" lines");
    return settingsFromJson(QJsonDocument(top).toJson());
}

std::string otherPictureWarning(const SavedSettings& s, const FileDigest& picture, const QString& name)
{
    if (s.pictureSha256.empty() || picture.sha256.empty() || s.pictureSha256 == picture.sha256)
        return {};
    return "The picture \"" + name.toStdString() +
           "\" is not the one that the settings were saved with: its SHA-256 differs.\n";
}

} // namespace plotrun
