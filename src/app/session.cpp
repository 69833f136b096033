#include "app/session.h"

#include "platform/block_devices.h"

namespace korv {

namespace {

std::filesystem::path InventoryPathOf(const SessionOptions& options) {
  return options.inventoryPath.empty() ? InventoryStore::DefaultPath() : options.inventoryPath;
}

}  // namespace

Session::Session(Prompts& promptsIn, SessionOptions options)
    : prompts(promptsIn),
      sectors(source, range, promptsIn),
      inventory(InventoryPathOf(options)),
      sourceTree(inventory, sectors, disks) {
  source.io = &io;
  if (!options.findPhysicalDisks) return;
  const auto disks = ListPhysicalDisks();
  for (std::size_t i = 0; i < disks.size() && i < source.devices.paths.size(); ++i) source.devices.paths[i] = disks[i];
}

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
