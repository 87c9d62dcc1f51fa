// LIVE=1: the engine follows saved changes of the settings file it read,
// without a new instance. The worker looks at the file's stamp a few times a
// second; a change counts once two reads 100 ms apart give the same texts
// (an editor's half-written file is never applied), and it is applied whole
// or not at all, between two of the worker's cycles. A file that cannot be
// read, is empty or has no [SETTING] lines changes nothing, is said once, and
// is read again at every look until it reads cleanly, whatever its stamp (a
// permission change leaves the stamp as it was). SYNC and LIVE themselves
// keep the values the instance was built with.
//
// Threads: built by the creating thread before the worker starts; afterwards
// the worker's alone.
#pragma once

#include <string>
#include <vector>

#include "engine/settings_record.h"
#include "platform/file_stamp.h"

namespace fulgora {

class live_settings {
 public:
  // Looks at the file this often, and takes a change once it stood this long.
  static constexpr double look_s = 0.2;
  static constexpr double settle_s = 0.1;

  explicit live_settings(const std::string& path);

  enum outcome { nothing = 0, changed, unreadable };
  // Worker, once per pass: changed once a saved change has settled (record
  // is the file's, fault names the first key that keeps it from being
  // applied, null: none); unreadable once when a save cannot be taken.
  outcome poll(double now, settings_record& record, settings_fault& fault);

 private:
  static std::vector<std::wstring> texts(const settings_file& file);
  outcome refuse();

  std::string path_;
  file_stamp applied_;  // the stamp of the file as last taken
  bool pending_ = false;
  bool unclean_ = false;  // the last read could not be taken: read again at every look
  bool said_unclean_ = false;
  file_stamp pending_stamp_;
  std::vector<std::wstring> pending_texts_;
  double next_look_s_ = 0.0;
};

}  // namespace fulgora
