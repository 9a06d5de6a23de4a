#pragma once
// Sending overlay objects away as GPX: attached to a new e-mail, or uploaded to the maker's
// cloud-sync server for a mobile device to fetch. Both write the GPX file into the program's temp
// folder under a name made from the object's; a GPX that cannot be written sends nothing and
// only the GPX writer's message is shown. User-interface thread only.
//
// The cloud-sync server is the setting "cloud_sync_host" ("name" or "name:port", default
// kDefaultCloudSyncHost), reached over HTTPS unless the setting "cloud_sync_https" is 0; the
// setting "cloud_sync_session" is the user's sync session text.
#include <string>

#include "app/shell_services.h"

class CEmailSender;

inline constexpr char kDefaultCloudSyncHost[] = "sync.vardune.com";
inline constexpr char kCloudSyncUploadPath[] = "/cgi-bin/syncupload.cgi";

// The sender that e-mails go to; null puts back the program's own. Returns the one replaced.
CEmailSender* SetObjectEmailSender(CEmailSender* sender);

// The object with what it needs (a route's marks, say) under the object's name; nothing for null.
void EmailObjectsAsGpx(COstrelObject* object);
// Writes "<temp folder>/<name>.gpx", the name keeping only its letters, digits, '_', '-' and
// blanks, and hands it to the e-mail sender. The file stays for the mail client to take.
void EmailObjectListAsGpx(const ObjectList& list, const std::string& name);

// As EmailObjectsAsGpx, uploading instead.
void CloudSyncUpload(COstrelObject* object);
// Writes "<temp folder>/<name>.gpx", the name keeping only its letters, digits and "_-.+",
// uploads it as the form field "fileToUpload" (with "session" when the session text is set),
// tells the user how that went, and removes the file.
void UploadObjectListToCloud(const ObjectList& list, const std::string& name);
