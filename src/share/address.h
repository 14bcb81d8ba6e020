#pragma once
// Addresses of the share service: checking a folder address the user typed,
// taking its cid and id out, and building the address of a folder page.

#include <QString>

namespace zandorel {

struct FolderAddress {
    bool valid = false; // the address passed the check
    QString cid;        // empty when the address carries none
    QString id;
};

// "host[:port]" of a base address such as "http://127.0.0.1:8765".
QString ShareHost(const QString& base);

// Checks `address` against the service host and takes cid and id out of it.
// The host goes into the patterns as plain text in which a dot matches any
// character; other pattern characters in it are taken literally.
FolderAddress ParseFolderAddress(const QString& address, const QString& host);

// base + "/?cid=" + cid + "&id=" + id, values inserted as they stand.
QString FolderURL(const QString& base, const QString& cid, const QString& id);

} // namespace zandorel
