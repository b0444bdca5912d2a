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
    if (const auto *message = e.as<decoded::Message>()) shown.speedByte = message->speed;
    const auto *packet = e.as<decoded::Packet>();
    if (!packet || frame >= stoppedAtUnusable.size()) continue;
    shown.text += packet->text;
    if (stoppedAtUnusable[frame++]) shown.text += kMarkedCell;
  }
  return shown;
}

int scrollDotsPerSecond(int speedByte) {
  switch (speedByte) {
    case 1: return 96;
    case 2: return 48;
    case 3: return 24;
    default: return 192;
  }
}

}  // namespace vf
