#pragma once
// The update check: the version document of the update server, compared with
// the program's own version, and the texts the window shows for the outcome.

#include "net/http.h"

#include <QString>
#include <pugixml.hpp>

namespace zandorel {

struct VersionInfo {
    QString name;
    QString shortname;
    QString website;
    int major = 0;
    int minor = 0;
    int revision = 0;
    QString beta;
    QString time;
    QString log;
    bool valid = false; // "version" held three dot-separated integers

    QString versionText() const; // "1.0.10", then a blank and beta when set
};

VersionInfo ReadVersionInfo(pugi::xml_node doc);

// List blocks become numbered lines ("1、item" CR LF), line-break tags CR LF;
// other markup stays.
QString FormatUpdateLog(const QString& log);

// Whether (major, minor, revision) of `server` is above the program's own.
bool IsNewerVersion(const VersionInfo& server, int major, int minor, int revision);

struct UpdateOutcome {
    enum Kind { Failed, Newer, NotNewer } kind = Failed;
    VersionInfo info;
    QString text;  // message text for this outcome
    QString title; // message title
};

// The largest version document read; a larger answer is a failed check.
constexpr qint64 MaxVersionDocumentBytes = qint64{1024} * 1024;

// Interprets the body of the version request.
UpdateOutcome EvaluateUpdate(const QString& responseText);
// Fetches the version document and interprets it. The options' body limit
// is lowered to MaxVersionDocumentBytes.
UpdateOutcome FetchUpdate(const QString& url, HttpOptions options = {});

// Only http and https addresses with a host are opened.
bool IsOpenableWebsite(const QString& address);

} // namespace zandorel
