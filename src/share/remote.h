#pragma once
// A folder of any rclone remote as a listing: its files become records in the
// share service's vocabulary, written as the compact page text the rest of
// the program reads (`var primedResponse={"children":[...]};`), so every
// template, the property viewer and the link list work on them unchanged.
//
// Record properties: name (without the last extension), extension (with its
// dot, empty for "noext" and ".bashrc"), path (below the listed folder, with
// '/', the name included), size (bytes, -1 when the remote does not know it),
// displaySize, mimeType, modTime (as rclone gives it), id and hashes.TYPE
// where the remote has them, sharingLevelValue (0 with a public link, 2
// without), urls.download (the public link) and linkError (why the link
// failed).

#include "net/rclone.h"

#include <QJsonArray>
#include <QString>
#include <chrono>
#include <functional>

namespace zandorel {

struct RemoteProgress {
    int listed = 0;      // files listed so far
    int linksWanted = 0; // links asked for
    int linksMade = 0;
    int linksFailed = 0;
};

struct RemoteOptions {
    bool recursive = false; // every file below the folder
    bool links = false;     // ask the cloud for each file's public link
    QString expire;         // how long links last (rclone's duration); empty: the remote's default
    int linksInFlight = 16;
    HttpOptions http; // the time limit of starting rclone and of each link; the cancel token
    std::chrono::milliseconds listTimeout{10 * 60 * 1000}; // the listing of a large tree takes long
    std::function<void(const RemoteProgress&)> progress;
    RcloneDaemon* daemon = nullptr; // none: an rclone of its own for this listing
};

struct RemoteListing {
    QString page; // the records as page text
    int files = 0;
    int linksMade = 0;
    int linksFailed = 0;
    QString linkFailure; // the reason every failed link gave, when they all gave the same
    QString noLinks;     // links were asked for and this remote makes none: why
};

// Lists the folder `remote` (`NAME:PATH`, `:backend,opt=value:PATH`) through
// rclone. Raises RcloneError, whose text names the remote without any
// connection-string options, and FetchCancelled.
RemoteListing ListRemote(const QString& remote, const RemoteOptions& options = {});

// The page text of rclone's listing (the "list" of operations/list); folders
// are left out. `links` and `linkErrors` are by position in `list`, empty
// text for none.
QString RemotePageText(const QJsonArray& list, const QStringList& links = {},
                       const QStringList& linkErrors = {});

// Whether a text the user typed is a remote rather than a web address: it
// names a remote (`NAME:`, `NAME,opt=value:` or `:backend`) and has no "://"
// outside its connection-string options.
bool IsRemoteText(const QString& text);

// "532 bytes", "1 byte", "1.2 KB", "3.0 MB", ... as the share service shows
// sizes; empty text for a negative (unknown) size.
QString DisplaySize(qint64 bytes);

} // namespace zandorel
