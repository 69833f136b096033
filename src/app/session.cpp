#include "app/session.h"

namespace korv {

Session::Session(Prompts& promptsIn) : prompts(promptsIn), sectors(source, range, promptsIn) { source.io = &io; }

VirtualFileSelection Session::OpenVirtualFile(const std::filesystem::path& path) {
  VirtualFileSelection selection = SelectVirtualFile(path);
  if (!selection.accepted) return selection;
  virtualDisk_ = std::move(selection.reader);
  source.kind = SourceKind::VirtualDisk;
  source.virtualFormat = selection.virtualFormat;
  source.virtualDisk = virtualDisk_.get();
  source.displayName = path.filename().string();
  return selection;
}

}  // namespace korv
