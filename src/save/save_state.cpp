#include "save/save_state.h"

namespace korv {

ReplacePolicy PolicyOf(const ReplaceReply& reply) {
  switch (reply.answer) {
    case ReplaceAnswer::Yes: return reply.forAll ? ReplacePolicy::ReplaceYesToAll : ReplacePolicy::ReplaceYes;
    case ReplaceAnswer::Skip: return reply.forAll ? ReplacePolicy::ReplaceSkipAll : ReplacePolicy::ReplaceSkip;
    case ReplaceAnswer::Rename: return reply.forAll ? ReplacePolicy::ReplaceRenameAll : ReplacePolicy::ReplaceRename;
  }
  return ReplacePolicy::ReplaceYes;
}

void ApplyCopyErrorAnswer(ErrorPolicy& errors, CopyErrorAnswer answer) {
  errors.skipFile = answer == CopyErrorAnswer::Skip;
  errors.skipAll = answer == CopyErrorAnswer::SkipAll;
  errors.abort = answer == CopyErrorAnswer::Abort;
}

}  // namespace korv
