#pragma once
// Hands a whole message to a MessageParser the way the POP client does after
// reading it off the wire: lines of up to `piece` bytes (the client's read
// size); a shorter read has its line end made a single '\n', a full-size piece
// goes on unchanged and the rest of its line follows as the next piece.
// Dot-stuffing is a wire matter and is not simulated here.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "message/message_parser.h"

namespace quor {

constexpr size_t kPopPieceSize = 512;

inline void FeedLines(MessageParser& parser, std::string_view message,
                      size_t piece = kPopPieceSize) {
  std::string line;
  size_t position = 0;
  while (position < message.size()) {
    const size_t feed = message.find('\n', position);
    const size_t line_end = feed == std::string_view::npos ? message.size() : feed + 1;
    const size_t take = std::min(line_end - position, piece);
    line.assign(message.substr(position, take));
    position += take;
    if (take < piece) {
      if (!line.empty() && line.back() == '\n') line.pop_back();
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line.push_back('\n');
    }
    parser.ParseLine(line.data(), line.size());
  }
}

// BeginParse, every line, EndParse.
inline void ParseWhole(MessageParser& parser, MailMessage& message, std::string_view text,
                       size_t piece = kPopPieceSize) {
  parser.BeginParse(message, text.size());
  FeedLines(parser, text, piece);
  parser.EndParse();
}

}  // namespace quor
