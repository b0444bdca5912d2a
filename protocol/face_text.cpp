#include "protocol/face_text.h"

#include "protocol/module_decoder.h"

namespace vf {

FaceText faceTextOf(const std::vector<QByteArray> &writes, const std::vector<bool> &stoppedAtUnusable) {
  ModuleDecoder decoder;
  std::vector<ModuleEvent> events;
  for (const QByteArray &write : writes) {
    for (ModuleEvent &e : decoder.feed(write)) events.push_back(std::move(e));
  }
  FaceText shown;
  std::size_t frame = 0;
  for (const ModuleEvent &e : events) {
    if (e.kind == ModuleEvent::Kind::Message) shown.speedByte = e.speed;
    if (e.kind != ModuleEvent::Kind::Packet || frame >= stoppedAtUnusable.size()) continue;
    shown.text += e.text;
    if (stoppedAtUnusable[frame++]) shown.text += kMarkedCell;
  }
  return shown;
}

}  // namespace vf
