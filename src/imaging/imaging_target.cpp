#include "imaging/imaging_target.h"


#include "platform/file.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

// A name with something before its ".dmg".
bool EndsWithDmg(const std::string& name) {
  constexpr std::string_view kDmg = ".dmg";
  return name.size() > kDmg.size() && EndsWithIgnoringCase(name, kDmg);
}


}  // namespace

fs::path ImageFolderFromField(std::string_view field) {
  fs::path path{std::string(field)};
  if (EndsWithDmg(path.filename().string())) path = path.parent_path();
  return path;
}

std::string PathFieldForFolder(const fs::path& folder) { return (folder / kImageFileShown).string(); }

std::optional<std::string> CheckImageTarget(const fs::path& folder, std::uint64_t imageBytes,
                                            const fs::path& sourceImageFolder, Prompts& prompts,
                                            const FreeSpaceFunction& freeSpace) {
  if (folder.empty() || !IsDirectory(folder)) return std::string(kMsgTargetPathMissing);
  if (IsSameFile(folder, sourceImageFolder)) return std::string(kMsgTargetIsSource);
  const auto free = freeSpace(folder);
  if (free && imageBytes >= *free && !prompts.AskYesNo(kQuestionNotEnoughSpace)) return std::string();
  return std::nullopt;
}

std::optional<std::string> CheckTargetDisk(const TargetDiskChoice& choice, std::uint64_t imageBytes,
                                           const std::string& sourceDevicePath, Prompts& prompts) {
  if (choice.slot < 0 || choice.devicePath.empty()) return std::string(kMsgChooseTargetDisk);
  if (choice.devicePath == sourceDevicePath) return std::string(kMsgTargetIsSource);
  if (DeviceHasMountedFileSystem(choice.devicePath)) return std::string(kMsgTargetMounted);
  if (imageBytes >= choice.sizeBytes && !prompts.AskYesNo(kQuestionNotEnoughSpace)) return std::string();
  const std::string question = std::string(kQuestionTargetDiskLost) + choice.valueName + " - " + choice.model +
                               std::string(kQuestionTargetDiskTail);
  if (!prompts.AskYesNo(question)) return std::string();
  return std::nullopt;
}

}  // namespace korv
