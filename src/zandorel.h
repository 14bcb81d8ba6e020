#pragma once
// Zandorel's core, from the outside in:
//
//   page text (net/http, share/openunicode)
//     -> listing: the first "children" list of the page's script data (share/sdpage)
//     -> records: one file per entry, ordered Title/Value pairs (share/records)
//     -> link texts: format templates read once into pieces and slots
//        (share/filetags, share/linklist; %s(...) and paths in text/placeholders)
//     -> window (app/) or the headless listing tool (cli/)
//
// share/pipeline runs the first three steps for both programs.
//
// Everything is driven by the settings document (settings/editxml); all
// pattern work goes through the helpers of text/regexpfunctions.

#include "net/http.h"
#include "net/rclone.h"
#include "net/updatecheck.h"
#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/address.h"
#include "share/diagnostics.h"
#include "share/filetags.h"
#include "share/linklist.h"
#include "share/openunicode.h"
#include "share/pipeline.h"
#include "share/records.h"
#include "share/remote.h"
#include "share/sdpage.h"
#include "text/appinfo.h"
#include "text/escapes.h"
#include "text/placeholders.h"
#include "text/regexpfunctions.h"
#include "text/scan.h"
#include "text/stringfunctions.h"
#include "text/textcodec.h"
