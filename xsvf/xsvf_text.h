#pragma once
// A line-oriented text form of XSVF programs, shared by xsvfasm (text to program)
// and xsvfdump (program to text). xsvf_assembler.cpp reads it, xsvf_listing.cpp
// writes it; what both directions share is in xsvf_text_form.h.
//
//   # a comment runs to the end of the line; blank lines are ignored
//   XREPEAT 32                 one command per line: its name, then its operands
//   XSDRSIZE 12
//   XSDRTDO 0x0fff 0x0a5f      vectors: hex digits, with or without 0x; 0x alone is empty
//   XSTATE DRPAUSE             TAP states by name or by number
//   XCOMMENT "erase\n"         text in double quotes; escapes \\ \" \n \r \t \xNN
//   .bytes 0x00ff 12           raw bytes, written as they stand
//
// Command names are those of the debug log (case does not matter). Numbers are
// decimal, or hex with 0x. Operands by command:
//
//   XCOMPLETE, Reserved5, Reserved6             none
//   XTDOMASK, XSDR, XSDRB, XSDRC, XSDRE          vector
//   XSDRTDO, XSDRTDOB, XSDRTDOC, XSDRTDOE        TDI vector, expected TDO vector
//   XSETSDRMASKS                                 address mask, data mask
//   XSIR / XSIR2                                 bit count (8 / 16 bits), vector
//   XRUNTEST, XSDRSIZE                           number (32 bits)
//   XREPEAT, XENDIR, XENDDR                      number (8 bits)
//   XSTATE                                       state
//   XSDRINC                                      TDI vector, then each data piece as
//                                                a vector (the count byte is implied)
//   XCOMMENT                                     quoted text (the 0 byte is implied)
//   XWAIT                                        wait state, end state, microseconds
//
// Each vector is written at the size the player will read it at: XSDRSIZE's for
// the data vectors, the bit count's for XSIR and XSIR2, that of the XSETSDRMASKS
// data mask's 1 bits for XSDRINC's pieces. A shorter vector is padded with zeros in
// front; a longer one is an error, as is a command after XCOMPLETE, since the
// player would read either otherwise than written. Sizes beyond the player's limit
// are not held to, and .bytes writes anything, so that bad programs can be written
// too.
//
// The listing gives command N on line N, as the player's debug log counts them
// ("See line #N"). What cannot be listed as commands follows as .bytes lines: the
// bytes after XCOMPLETE, or everything from a command that cannot be read on (its
// first line, line N, names the problem in a comment). Assembling a listing gives
// back the program's bytes.

#include <cstdint>
#include <string>
#include <vector>

// Assembles the text form. False with "line N: problem" in *error.
bool AssembleXsvfText(const std::string& text, std::vector<uint8_t>* program,
                      std::string* error);

// Lists a program in the text form, one command per line.
std::string ListXsvfProgram(const std::vector<uint8_t>& program);

