#pragma once

#include <QByteArray>

#include <cstdint>

namespace vf {

// Command codes of the seven-byte control commands the module takes.
enum class CommandCode : std::uint8_t {
  FrameCount = 0x04,
  DisplayClear = 0x14,
  DataCue = 0x18,
  Update = 0x1C,
  MessageStart = 0x25,
};

inline constexpr int kControlCommandSize = 7;
inline constexpr std::uint8_t kEndByte = 0xEF;

// 00 00 code parameter 00 (code + parameter) EF.
QByteArray controlCommand(CommandCode code, std::uint8_t parameter = 0x00);

}  // namespace vf
