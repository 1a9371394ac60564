// Paths, file search and deletion.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "corvid/containers/ObjList.h"
#include "corvid/util/OdbMisc.h"
#include "corvid/values/ObjBuckt.h"

namespace corvid {

std::string AddBackSlashToPath(std::string_view Path) {
  if (Path.empty()) return "/";
  if (Path.back() == '/') return std::string(Path);
  return std::string(Path) + '/';
}

std::string RemoveBackSlashFromPath(std::string_view Path) {
  if (!Path.empty() && Path.back() == '/') Path.remove_suffix(1);
  return std::string(Path);
}

std::string GetLocalObjectFileName(std::string_view Dir, std::string_view FileName,
                                   std::string_view DefaultExt) {
  std::string result = FileName.find('/') != std::string_view::npos
                           ? std::string(FileName)
                           : AddBackSlashToPath(Dir) + std::string(FileName);
  const std::size_t slash = result.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const bool hasExt = result.find('.', nameStart) != std::string::npos;
  if (!hasExt && !DefaultExt.empty()) {
    if (DefaultExt.front() != '.') result += '.';
    result += DefaultExt;
  }
  return result;
}

namespace {

// The attribute word of a directory entry.
std::uint16_t AttributesOf(const std::string& Path, const std::string& Name) {
  struct stat st {};
  std::uint16_t attr = 0;
  if (stat(Path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      attr |= faDirectory;
    } else if (S_ISREG(st.st_mode)) {
      attr |= faArchive;
    } else {
      attr |= faSysFile;
    }
    if (access(Path.c_str(), W_OK) != 0) attr |= faReadOnly;
  }
  // A dangling symbolic link has no attributes: it is listed like a plain
  // entry, so it can be found and deleted.
  if (!Name.empty() && Name[0] == '.') attr |= faHidden;
  return attr;
}

}  // namespace

void FindFiles(std::string_view Mask, std::uint16_t Attr, TUnorderedList& List) {
  List.Clear();
  const std::size_t slash = Mask.rfind('/');
  // The prefix of every result: the directory part of Mask with its "/".
  // A mask without a directory lists bare names of the working directory
  // (prefixing "/" would point into the root directory instead).
  const std::string prefix =
      slash == std::string_view::npos ? std::string() : std::string(Mask.substr(0, slash + 1));
  const std::string dirPath = prefix.empty() ? std::string(".") : prefix;
  std::string pattern(slash == std::string_view::npos ? Mask : Mask.substr(slash + 1));
  if (pattern == "*.*") pattern = "*";  // every name, with or without extension

  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(dirPath.c_str()), &closedir);
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
    const std::uint16_t attr = AttributesOf(prefix + name, name);
    if (attr != 0 && (attr & Attr) == 0) continue;
    if ((attr & faDirectory) && (Attr & faDirectory) && name[0] == '.') continue;
    names.push_back(name);
  }
  dir.reset();
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    auto combo = std::make_unique<TStringCombo>(prefix + name);
    List.Insert(combo.get());
    combo.release();
  }
}

void DeleteFiles(std::string_view Mask) {
  TUnorderedList files(TStringCombo::StaticClass(), &CompareStringComboNoCase);
  FindFiles(Mask, faArchive, files);
  for (TObject* obj : files) {
    const auto* combo = static_cast<const TStringCombo*>(obj);
    // Files that cannot be deleted are skipped.
    (void)unlink(combo->Str.c_str());
  }
}

}  // namespace corvid
