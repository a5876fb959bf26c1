// A compiled regular expression over 8-bit texts.
//
// The dialect is the matcher's Perl-like one without UTF: groups,
// alternation, anchors, bracket expressions with the POSIX named classes,
// counted repetition {n,m}, back references and inline options such as
// (?i). A search answers whether the pattern occurs anywhere in a text.
//
// Failures are xFBL_ParserError (305): a pattern that does not compile
// (the message gives the reason and the offset), and a search that needs
// more backtracking steps, nesting or memory than the limits allow, so a
// pathological pattern stops with an error instead of running for ever.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "regex/character_tables.h"

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;

namespace zregex {

struct SearchSettings {
  // Backtracking steps from one start position.
  uint32_t steps = 10'000'000;
  // Nested backtracking points.
  uint32_t depth = 500'000;
  // Memory the backtracking may take, in KB.
  uint32_t heapKb = 64 * 1024;
  // Compile the pattern to machine code when the platform allows it; the
  // interpreter otherwise.
  bool machineCode = true;
};

class Pattern {
 public:
  // tables: the character tables of the texts' code page (not owned, kept
  // for the life of the pattern); null for the plain "C" tables.
  Pattern(std::string_view pattern, bool caseless, const CharacterTables* tables,
          const SearchSettings& settings = {});
  ~Pattern();
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  // Whether the pattern occurs anywhere in text. One search at a time per
  // pattern (the match data is the pattern's).
  bool Search(const char* text, size_t length);
  // Whether searches run machine code compiled for the pattern.
  bool IsCompiledToMachineCode() const { return mJit; }

 private:
  struct Free {
    void operator()(pcre2_real_code_8* code) const;
    void operator()(pcre2_real_match_data_8* data) const;
    void operator()(pcre2_real_match_context_8* context) const;
  };

  std::unique_ptr<pcre2_real_code_8, Free> mCode;
  std::unique_ptr<pcre2_real_match_data_8, Free> mMatch;
  std::unique_ptr<pcre2_real_match_context_8, Free> mContext;
  bool mJit = false;
};

}  // namespace zregex
