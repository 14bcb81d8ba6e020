#include "settings/editxml.h"

#include "settings/builtinsettings.h"
#include "settings/keys.h"
#include "text/appinfo.h"
#include "text/regexpfunctions.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocale>
#include <QSaveFile>
#include <QUrl>
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zandorel {
namespace {

std::string u8(const QString& text) {
    return text.toStdString();
}
QString qs(const char* text) {
    return QString::fromUtf8(text);
}

pugi::xpath_node_set select(pugi::xml_node node, const QString& path) {
    if (!node || path.isEmpty()) {
        return {};
    }
    try {
        return node.select_nodes(u8(path).c_str());
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

pugi::xml_node elementAt(pugi::xml_node node, const QString& path, int index) {
    if (index < 0) {
        return {};
    }
    int seen = 0;
    for (const pugi::xpath_node& hit : select(node, path)) {
        if (hit.node().type() == pugi::node_element && seen++ == index) {
            return hit.node();
        }
    }
    return {};
}

// The element, or (for the first match of an absolute path from the
// document) a newly created one.
pugi::xml_node elementOrCreate(pugi::xml_node node, const QString& path, int index) {
    pugi::xml_node found = elementAt(node, path, index);
    if (found || index != 0 || node.type() != pugi::node_document) {
        return found;
    }
    return EnsureElement(node, path);
}

void appendText(pugi::xml_node node, std::string& out) {
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            out += child.value();
        } else if (child.type() == pugi::node_element) {
            appendText(child, out);
        }
    }
}

void setDeclaration(pugi::xml_document& doc) {
    pugi::xml_node decl = doc.first_child();
    if (decl.type() != pugi::node_declaration) {
        decl = doc.prepend_child(pugi::node_declaration);
    }
    while (decl.first_attribute()) {
        decl.remove_attribute(decl.first_attribute());
    }
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
}

std::string serialize(const pugi::xml_document& doc, unsigned int flags) {
    std::ostringstream out;
    doc.save(out, "\t", flags, pugi::encoding_utf8);
    return out.str();
}

bool writeAtomically(const QString& filePath, const std::string& text) {
    const QFileInfo info(filePath);
    if (info.exists() && (!info.isFile() || !info.isWritable())) {
        return false; // a file the user made read-only stays as it is
    }
    QSaveFile out(filePath);
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace

QString ReadAttribute(pugi::xml_node node, const QString& path, const QString& attribute,
                      const QString& defaultText, int index, std::optional<int32_t> maximum) {
    const pugi::xml_node element = elementAt(node, path, index);
    if (!element) {
        return defaultText;
    }
    const pugi::xml_attribute attr = element.attribute(u8(attribute).c_str());
    if (!attr) {
        return defaultText;
    }
    QString value = qs(attr.value());
    if (!maximum) {
        return value;
    }
    // Whole numbers keep only their digits and minus signs. A text that does
    // not read as a 32-bit number gives the default.
    bool ok = false;
    const int32_t number = RegExtract(value, QStringLiteral("[-\\d]"), defaultText).toInt(&ok);
    if (!ok) {
        return defaultText;
    }
    return QString::number(number > *maximum ? *maximum : number);
}

QString ReadNodeText(pugi::xml_node node, const QString& path, const QString& defaultText, int index) {
    const pugi::xml_node element = elementAt(node, path, index);
    if (!element) {
        return defaultText;
    }
    std::string text;
    appendText(element, text);
    return QString::fromStdString(text);
}

int CountNodes(pugi::xml_node node, const QString& path) {
    int count = 0;
    for (const pugi::xpath_node& hit : select(node, path)) {
        count += hit.node().type() == pugi::node_element ? 1 : 0;
    }
    return count;
}

bool AppendElement(pugi::xml_node node, const QString& parentPath, const QString& name, const QString& text,
                   int parentIndex) {
    pugi::xml_node parent = elementOrCreate(node, parentPath, parentIndex);
    if (!parent) {
        return false;
    }
    pugi::xml_node child = parent.append_child(u8(name).c_str());
    if (!child) {
        return false;
    }
    if (!text.isEmpty()) {
        child.append_child(pugi::node_pcdata).set_value(u8(text).c_str());
    }
    return true;
}

bool RemoveElement(pugi::xml_node node, const QString& parentPath, const QString& childPath, int index) {
    const pugi::xml_node parent = elementAt(node, parentPath, 0);
    const pugi::xml_node child = elementAt(parent, childPath, index);
    if (!child) {
        return false;
    }
    return child.parent().remove_child(child);
}

bool AddAttribute(pugi::xml_node node, const QString& path, const QString& attribute, const QString& value,
                  int index) {
    pugi::xml_node element = elementOrCreate(node, path, index);
    if (!element) {
        return false;
    }
    const std::string name = u8(attribute);
    pugi::xml_attribute attr = element.attribute(name.c_str());
    if (!attr) {
        attr = element.append_attribute(name.c_str());
    }
    return attr && attr.set_value(u8(value).c_str());
}

bool WriteAttribute(pugi::xml_node node, const QString& path, const QString& attribute, const QString& value,
                    int index) {
    pugi::xml_node element = elementAt(node, path, index);
    if (element) {
        if (pugi::xml_attribute attr = element.attribute(u8(attribute).c_str())) {
            return attr.set_value(u8(value).c_str());
        }
    }
    return AddAttribute(node, path, attribute, value, index);
}

pugi::xml_node EnsureElement(pugi::xml_node doc, const QString& path) {
    if (doc.type() != pugi::node_document || !path.startsWith(u'/')) {
        return {};
    }
    const QStringList steps = path.mid(1).split(u'/');
    for (const QString& step : steps) {
        if (!RegTest(step, QStringLiteral("^[A-Za-z_][\\w.\\-]*$"))) {
            return {};
        }
    }
    pugi::xml_node root = doc.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
    if (!root) {
        root = doc.append_child(u8(steps.first()).c_str());
    } else if (qs(root.name()) != steps.first()) {
        return {}; // a second document element would make the file unreadable
    }
    pugi::xml_node current = root;
    for (qsizetype i = 1; i < steps.size(); ++i) {
        const std::string name = u8(steps[i]);
        pugi::xml_node next = current.child(name.c_str());
        if (!next) {
            next = current.append_child(name.c_str());
        }
        current = next;
    }
    return current;
}

bool LoadXmlText(pugi::xml_document& doc, const QString& text) {
    const std::string bytes = u8(text);
    const pugi::xml_parse_result result =
        doc.load_buffer(bytes.data(), bytes.size(), XmlParseOptions, pugi::encoding_utf8);
    if (!result || !doc.document_element()) {
        doc.reset();
        return false;
    }
    return true;
}

bool LoadXmlFile(pugi::xml_document& doc, const QString& filePath) {
    doc.reset();
    // Only an ordinary file is read: a pipe or a device named as the settings
    // would block the program before any window appears. It is opened without
    // waiting and checked again once open.
    const QByteArray name = QFile::encodeName(filePath);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    std::string bytes;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxXmlFileSize;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        ok = got == bytes.size();
    }
    ::close(fd);
    if (!ok) {
        return false;
    }
    const pugi::xml_parse_result result = doc.load_buffer(bytes.data(), bytes.size(), XmlParseOptions);
    if (!result || !doc.document_element()) {
        doc.reset();
        return false;
    }
    return true;
}

bool formatDoc(pugi::xml_document& doc, const QString& filePath) {
    std::string text;
    if (doc.document_element()) {
        setDeclaration(doc);
        text = serialize(doc, pugi::format_indent);
        pugi::xml_document indented;
        const pugi::xml_parse_result result =
            indented.load_buffer(text.data(), text.size(), XmlParseOptions, pugi::encoding_utf8);
        if (result && indented.document_element()) {
            doc.reset(indented);
        } else {
            text = serialize(doc, pugi::format_raw);
        }
    } else {
        return false; // nothing to save: never replace a settings file by an empty one
    }
    return writeAtomically(filePath, text);
}

QString LoadErrorMessage(const QString& fileName, const QDateTime& when) {
    return QStringLiteral("加载XML设置文件失败，请检查 ") + fileName + QStringLiteral(" 是否配置正确\r\n") +
           QStringLiteral("Load XML config error,please check ") + fileName + QStringLiteral("\r\n") +
           QLocale::system().toString(when, QLocale::ShortFormat);
}

bool SettingsStore::LoadSettings(const QString& configPath) {
    configPath_ = configPath.isEmpty() ? AppInfo::current().besideProgram(keys::ConfigFileName) : configPath;
    const bool ok = LoadXmlFile(doc_, configPath_);
    rememberFile();
    readLoadedValues();
    return ok;
}

void SettingsStore::LoadDefaults() {
    configPath_.clear(); // built-in defaults come from no file and are saved to none
    const std::string_view text = BuiltInSettingsText();
    const pugi::xml_parse_result result =
        doc_.load_buffer(text.data(), text.size(), XmlParseOptions, pugi::encoding_utf8);
    if (!result || !doc_.document_element()) {
        // Only a broken build could get here: every read then gives its default.
        doc_.reset();
        doc_.append_child("Soft");
    }
    rememberFile();
    readLoadedValues();
}

namespace {

// A hash of the file's contents; empty when it is no ordinary file or
// cannot be read. Like the load, it never waits on a pipe or a device.
QByteArray contentsDigest(const QString& path) {
    if (path.isEmpty()) {
        return QByteArray();
    }
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return QByteArray();
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxXmlFileSize;
    char buffer[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        hash.addData(QByteArrayView(buffer, n));
    }
    ::close(fd);
    return ok ? hash.result() : QByteArray();
}

using TemplateEntries = QList<std::pair<QString, QString>>; // name, format

TemplateEntries templateEntries(const pugi::xml_node doc) {
    TemplateEntries entries;
    const int count = CountNodes(doc, keys::Template);
    for (int k = 0; k < count; ++k) {
        entries.append({ReadAttribute(doc, keys::Template, QStringLiteral("name"), QString(), k),
                        ReadNodeText(doc, keys::Template, QString(), k)});
    }
    return entries;
}

// Entries of `from` that `without` lacks, counting repeats.
TemplateEntries entriesMissing(const TemplateEntries& from, TemplateEntries without) {
    TemplateEntries missing;
    for (const auto& entry : from) {
        if (!without.removeOne(entry)) {
            missing.append(entry);
        }
    }
    return missing;
}

} // namespace

void SettingsStore::rememberFile() {
    base_.reset(doc_);
    fileDigest_ = contentsDigest(configPath_);
}

// Puts this program's edits since the file was read on top of the file as
// another program has saved it: the templates added here are appended,
// those removed here are removed, and the window sizes set here win.
void SettingsStore::mergeInto(pugi::xml_document& theirs) const {
    const TemplateEntries base = templateEntries(base_);
    const TemplateEntries ours = templateEntries(doc_);
    TemplateEntries merged = templateEntries(theirs);
    if (merged == base) {
        merged = ours; // only this program changed the list: its order stands
    } else if (ours != base) {
        for (const auto& removed : entriesMissing(base, ours)) {
            merged.removeOne(removed);
        }
        for (const auto& added : entriesMissing(ours, base)) {
            if (merged.count(added) < ours.count(added)) {
                merged.append(added);
            }
        }
    }
    const QString templateName = QStringLiteral("Template");
    for (int k = CountNodes(theirs, keys::Template); k > 0; --k) {
        RemoveElement(theirs, keys::TemplateList, templateName, 0);
    }
    for (qsizetype k = 0; k < merged.size(); ++k) {
        AppendElement(theirs, keys::TemplateList, templateName, merged[k].second);
        AddAttribute(theirs, keys::Template, QStringLiteral("name"), merged[k].first, static_cast<int>(k));
    }
    for (const QString& window : {keys::FormMain, keys::CodeListBox}) {
        for (const QString& attribute : {QStringLiteral("Width"), QStringLiteral("Height")}) {
            const QString mine = ReadAttribute(doc_, window, attribute, QString());
            if (!mine.isEmpty() && mine != ReadAttribute(base_, window, attribute, QString())) {
                WriteAttribute(theirs, window, attribute, mine);
            }
        }
    }
}

void SettingsStore::readLoadedValues() {
    listDistance_ =
        ReadAttribute(doc_, keys::Config, keys::ListDistance, keys::ListDistanceDefault, 0, 2147483647)
            .toInt();
    updateCheckUrl_ =
        UpdateService() + QStringLiteral("/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest");
}

QString ShareServiceBase(const QString& text) {
    QString base = text.trimmed();
    while (base.endsWith(u'/')) {
        base.chop(1);
    }
    const QUrl url(base, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (base.isEmpty() || !url.isValid() || (scheme != u"http" && scheme != u"https") ||
        url.host().isEmpty() || !(url.path().isEmpty()) || url.hasQuery() || url.hasFragment()) {
        return QString();
    }
    return base;
}

namespace {

// A service base address ("http://host:port") read from the settings, its
// trailing slashes dropped; nothing when it is not such an address.
std::optional<QString> serviceBase(const pugi::xml_node doc, const QString& attribute) {
    const QString base = ShareServiceBase(ReadAttribute(doc, keys::Config, attribute, QString()));
    if (base.isEmpty()) {
        return std::nullopt;
    }
    return base;
}

} // namespace

QString SettingsStore::ShareService() const {
    return serviceBase(doc_, keys::ShareService).value_or(keys::ShareServiceDefault);
}

QString SettingsStore::UpdateService() const {
    return serviceBase(doc_, keys::UpdateService).value_or(ShareService());
}

bool SettingsStore::Save() {
    merged_ = false;
    if (configPath_.isEmpty()) {
        return false;
    }
    const QByteArray digest = contentsDigest(configPath_);
    if (!digest.isEmpty() && digest != fileDigest_) {
        pugi::xml_document theirs;
        if (LoadXmlFile(theirs, configPath_)) {
            mergeInto(theirs);
            doc_.reset(theirs);
            merged_ = true;
        }
    }
    if (!formatDoc(doc_, configPath_)) {
        return false;
    }
    rememberFile();
    return true;
}

SettingsStore& SettingsStore::Instance() {
    static SettingsStore store;
    return store;
}

} // namespace zandorel
