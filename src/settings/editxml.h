#pragma once
// The settings document: one XML document read once at start, read and
// edited in memory by every window, written back re-indented at the end.
// Paths are element-name paths ("/Soft/Config", or relative to the node);
// `index` picks among the matches in document order, 0 being the first.

#include <QDateTime>
#include <QString>
#include <optional>
#include <pugixml.hpp>

namespace zandorel {

// Parse options for settings and version documents: the declaration,
// comments and CDATA sections are kept.
constexpr unsigned int XmlParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi;

// Reads never create anything and never write defaults back.
QString ReadAttribute(pugi::xml_node node, const QString& path, const QString& attribute,
                      const QString& defaultText, int index = 0, std::optional<int32_t> maximum = {});
QString ReadNodeText(pugi::xml_node node, const QString& path, const QString& defaultText, int index = 0);
int CountNodes(pugi::xml_node node, const QString& path);

// Edits. Where the target is missing, AppendElement, AddAttribute and
// WriteAttribute (index 0) create the missing elements of an absolute path
// below the existing document element; they return false when the edit
// could not be made.
bool AppendElement(pugi::xml_node node, const QString& parentPath, const QString& name, const QString& text,
                   int parentIndex = 0);
bool RemoveElement(pugi::xml_node node, const QString& parentPath, const QString& childPath, int index);
bool AddAttribute(pugi::xml_node node, const QString& path, const QString& attribute, const QString& value,
                  int index = 0);
bool WriteAttribute(pugi::xml_node node, const QString& path, const QString& attribute, const QString& value,
                    int index = 0);

// The element at `path` below the document node `doc`, created with its
// missing ancestors when absent. Null when the path is not absolute or names
// another document element.
pugi::xml_node EnsureElement(pugi::xml_node doc, const QString& path);

// Saves the document re-indented, with a UTF-8 declaration that says
// standalone. The in-memory document is replaced by its indented form. The
// file is replaced atomically: it holds either its old or its new content.
// If the indented text cannot be read back, the document is saved as it
// was. Returns false when the file could not be written.
bool formatDoc(pugi::xml_document& doc, const QString& filePath);

// Loads XML text or a file. Ok only with a document element. Only an
// ordinary file of at most MaxXmlFileSize bytes is read.
constexpr long long MaxXmlFileSize = 64LL * 1024 * 1024;
bool LoadXmlText(pugi::xml_document& doc, const QString& text);
bool LoadXmlFile(pugi::xml_document& doc, const QString& filePath);

// The process-wide settings.
class SettingsStore {
public:
    // Loads the document from `configPath` (when empty: beside the program)
    // and reads ListDistance. Returns false, leaving an empty document, when
    // the file is missing or is not well-formed XML.
    bool LoadSettings(const QString& configPath = QString());
    // Uses the built-in copy of the default settings document, the same
    // templates, join format and texts the shipped settings file holds.
    // There is no ConfigPath then: nothing is ever saved.
    void LoadDefaults();

    pugi::xml_document& Doc() { return doc_; }
    const pugi::xml_document& Doc() const { return doc_; }
    pugi::xml_node Root() const { return doc_; }
    const QString& ConfigPath() const { return configPath_; }
    int32_t ListDistance() const { return listDistance_; }
    const QString& UpdateCheckURL() const { return updateCheckUrl_; }

    // Base address of the share service ("http://host:port"), no trailing
    // slash: ShareService of the settings, or its default when that is
    // missing or no usable address.
    QString ShareService() const;
    // Base address of the update server, the same way; the share service's
    // address unless the settings name one of its own.
    QString UpdateService() const;
    // Saves to ConfigPath with formatDoc. When the file has changed on disc
    // since it was loaded or last saved (another program saved it), what
    // is there is not overwritten: this program's own edits, the template
    // list's additions and removals and the window sizes, are merged into
    // the file as it now is, and that is saved; LastSaveMerged() tells.
    bool Save();
    bool LastSaveMerged() const { return merged_; }

    static SettingsStore& Instance();

private:
    void readLoadedValues();
    void rememberFile();
    void mergeInto(pugi::xml_document& theirs) const;

    pugi::xml_document doc_;
    pugi::xml_document base_; // the document as it was last read from or written to the file
    QByteArray fileDigest_;   // the file's contents then, hashed; empty when there was none
    bool merged_ = false;
    QString configPath_;
    int32_t listDistance_ = 10;
    QString updateCheckUrl_;
};

// The base address ("http://host:port") a ShareService text names: trimmed,
// without trailing slashes. Empty when it is no http or https address of a
// host without path, query or fragment.
QString ShareServiceBase(const QString& text);

// The two-language message shown when the settings document cannot be loaded.
QString LoadErrorMessage(const QString& fileName, const QDateTime& when);

} // namespace zandorel
