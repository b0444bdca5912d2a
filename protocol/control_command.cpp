#include "protocol/control_command.h"

namespace vf {

QByteArray controlCommand(CommandCode code, std::uint8_t parameter) {
  const auto c = static_cast<std::uint8_t>(code);
  const char bytes[kControlCommandSize] = {0x00, 0x00, static_cast<char>(c), static_cast<char>(parameter), 0x00,
                                           static_cast<char>(static_cast<std::uint8_t>(c + parameter)),
                                           static_cast<char>(kEndByte)};
  return QByteArray(bytes, kControlCommandSize);
}

}  // namespace vf
