#include "sim/xsvf_scans.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// A vector as the program stores it: most significant byte first.
using Bytes = std::vector<uint8_t>;

// The command codes of the format, as the device knows them.
enum Code : uint8_t {
  kComplete = 0, kTdoMask = 1, kSir = 2, kSdr = 3, kRunTest = 4, kRepeat = 7, kSdrSize = 8,
  kSdrTdo = 9, kSetSdrMasks = 10, kSdrInc = 11, kSdrB = 12, kSdrC = 13, kSdrE = 14,
  kSdrTdoB = 15, kSdrTdoC = 16, kSdrTdoE = 17, kState = 18, kEndIr = 19, kEndDr = 20,
  kSir2 = 21, kComment = 22, kWait = 23,
};

// The program's bytes, read in order. A read past the end yields zeros and marks
// the reading as failed.
class Cursor {
 public:
  explicit Cursor(const Bytes& bytes) : bytes(bytes) {}

  bool Failed() const { return failed; }
  size_t Offset() const { return position; }

  Bytes Take(size_t count) {
    if (count > bytes.size() - position) {
      failed = true;
      position = bytes.size();
      return Bytes(count);
    }
    const auto first = bytes.begin() + static_cast<ptrdiff_t>(position);
    position += count;
    return Bytes(first, first + static_cast<ptrdiff_t>(count));
  }

  uint32_t Number(size_t count) {
    uint32_t value = 0;
    for (uint8_t byte : Take(count)) value = (value << 8) | byte;
    return value;
  }

  // Text up to and including its 0 byte.
  void SkipText() {
    while (!failed && Number(1) != 0) {
    }
  }

 private:
  const Bytes& bytes;
  size_t position = 0;
  bool failed = false;
};

size_t BytesFor(size_t bits) { return (bits + 7) / 8; }

size_t OneBits(const Bytes& bytes) {
  size_t ones = 0;
  for (uint8_t byte : bytes) {
    for (; byte != 0; byte &= static_cast<uint8_t>(byte - 1)) ++ones;
  }
  return ones;
}

class ScanReader {
 public:
  explicit ScanReader(const Bytes& program) : in(program) {}

  // Reads the program to its XCOMPLETE. False with *error when it cannot.
  bool Read(std::string* error);
  std::vector<XsvfScan> Take() { return std::move(scans); }

 private:
  // Reads one command; false at XCOMPLETE.
  bool Step(size_t number);
  std::vector<bool> DataBits(const Bytes& vector) const;
  std::vector<bool> Leading(const Bytes& kept) const;
  Bytes Merge(const Bytes& tdi, const Bytes& piece) const;
  void AddInstructionScan(size_t number, size_t bits, const Bytes& vector);
  void AddDataScan(size_t number, const std::vector<bool>& tdi, const std::vector<bool>& tdo,
                   const std::vector<bool>& mask);
  void ReadIncrementingScans(size_t number);

  Cursor in;
  std::vector<XsvfScan> scans;
  size_t dataBits = 0;
  size_t dataBytes = 0;
  Bytes expected, tdoMask, addressMask, dataMask;
  bool dataScanOpen = false;  // the last data shift stayed in Shift-DR
  std::string problem;
};

bool ScanReader::Read(std::string* error) {
  for (size_t number = 1;; ++number) {
    const size_t offset = in.Offset();
    const bool more = Step(number);
    if (in.Failed() && problem.empty()) problem = "the program ends within its command";
    if (!problem.empty()) {
      *error = "command #" + std::to_string(number) + " at byte " + std::to_string(offset) +
               ": " + problem;
      return false;
    }
    if (!more) return true;
  }
}

bool ScanReader::Step(size_t number) {
  const uint8_t code = static_cast<uint8_t>(in.Number(1));
  if (in.Failed()) {
    problem = "the program ends without XCOMPLETE";
    return false;
  }
  switch (code) {
    case kComplete:
      return false;
    case kSir:
    case kSir2: {
      const size_t bits = in.Number(code == kSir ? 1 : 2);
      AddInstructionScan(number, bits, in.Take(BytesFor(bits)));
      dataScanOpen = false;
      break;
    }
    case kSdrSize:
      dataBits = in.Number(4);
      dataBytes = BytesFor(dataBits);
      break;
    case kTdoMask:
      tdoMask = in.Take(dataBytes);
      break;
    case kSetSdrMasks:
      addressMask = in.Take(dataBytes);
      dataMask = in.Take(dataBytes);
      break;
    case kSdr:
    case kSdrTdo: {
      const Bytes tdi = in.Take(dataBytes);
      if (code == kSdrTdo) expected = in.Take(dataBytes);
      AddDataScan(number, DataBits(tdi), Leading(expected), Leading(tdoMask));
      dataScanOpen = false;
      break;
    }
    case kSdrInc:
      ReadIncrementingScans(number);
      dataScanOpen = false;
      break;
    case kSdrB:
    case kSdrC:
    case kSdrE: {
      const std::vector<bool> nothing(dataBits);
      AddDataScan(number, DataBits(in.Take(dataBytes)), nothing, nothing);
      dataScanOpen = code != kSdrE;
      break;
    }
    case kSdrTdoB:
    case kSdrTdoC:
    case kSdrTdoE: {
      const Bytes tdi = in.Take(dataBytes);
      expected = in.Take(dataBytes);
      AddDataScan(number, DataBits(tdi), DataBits(expected), std::vector<bool>(dataBits, true));
      dataScanOpen = code != kSdrTdoE;
      break;
    }
    case kRunTest:
      in.Take(4);
      break;
    case kRepeat:
    case kEndIr:
    case kEndDr:
      in.Take(1);
      break;
    case kState:
      in.Take(1);
      dataScanOpen = false;
      break;
    case kWait:
      in.Take(6);
      dataScanOpen = false;
      break;
    case kComment:
      in.SkipText();
      break;
    default:
      problem = "unknown command code " + std::to_string(code);
      return false;
  }
  return true;
}

// XSDRINC: the first TDI, then a count and that many data pieces, each merged
// into the TDI before it is shifted.
void ScanReader::ReadIncrementingScans(size_t number) {
  Bytes tdi = in.Take(dataBytes);
  AddDataScan(number, DataBits(tdi), Leading(expected), Leading(tdoMask));
  const size_t pieces = in.Number(1);
  const size_t pieceBytes = BytesFor(OneBits(dataMask));
  for (size_t piece = 0; piece < pieces && !in.Failed(); ++piece) {
    tdi = Merge(tdi, in.Take(pieceBytes));
    AddDataScan(number, DataBits(tdi), Leading(expected), Leading(tdoMask));
  }
}

std::vector<bool> ScanReader::DataBits(const Bytes& vector) const {
  return VectorBits(vector.data(), vector.size(), dataBits);
}

// A vector kept from an earlier command, cut or padded with zeros to the current
// data length: the player lines its bytes up with the TDI bytes.
std::vector<bool> ScanReader::Leading(const Bytes& kept) const {
  Bytes bytes(kept.begin(), kept.begin() + static_cast<ptrdiff_t>(std::min(kept.size(), dataBytes)));
  bytes.resize(dataBytes);
  return DataBits(bytes);
}

// XSDRINC's next TDI: the address mask added to the TDI as numbers (the carry out
// of the top dropped), then the piece's bits, lowest first, into the bits that the
// data mask sets, lowest first.
Bytes ScanReader::Merge(const Bytes& tdi, const Bytes& piece) const {
  Bytes next = tdi;
  unsigned carry = 0;
  for (size_t i = next.size(); i-- > 0;) {
    const unsigned sum = next[i] + (i < addressMask.size() ? addressMask[i] : 0) + carry;
    next[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
  }
  const std::vector<bool> pieceBits = VectorBits(piece.data(), piece.size(), piece.size() * 8);
  const std::vector<bool> maskBits = VectorBits(dataMask.data(), dataMask.size(), dataMask.size() * 8);
  size_t used = 0;
  for (size_t bit = 0; bit < maskBits.size() && bit / 8 < next.size(); ++bit) {
    if (!maskBits[bit] || used == pieceBits.size()) continue;
    uint8_t& byte = next[next.size() - 1 - bit / 8];
    const uint8_t one = static_cast<uint8_t>(1u << (bit % 8));
    byte = pieceBits[used++] ? (byte | one) : (byte & ~one);
  }
  return next;
}

void ScanReader::AddInstructionScan(size_t number, size_t bits, const Bytes& vector) {
  if (bits == 0) return;
  XsvfScan scan;
  scan.kind = ScanKind::Instruction;
  scan.command = number;
  scan.tdi = VectorBits(vector.data(), vector.size(), bits);
  scan.tdo.assign(bits, false);
  scan.mask.assign(bits, false);
  scans.push_back(std::move(scan));
}

void ScanReader::AddDataScan(size_t number, const std::vector<bool>& tdi,
                             const std::vector<bool>& tdo, const std::vector<bool>& mask) {
  if (tdi.empty()) return;
  if (!dataScanOpen || scans.empty() || scans.back().kind != ScanKind::Data) {
    XsvfScan scan;
    scan.command = number;
    scans.push_back(std::move(scan));
  }
  XsvfScan& scan = scans.back();
  scan.tdi.insert(scan.tdi.end(), tdi.begin(), tdi.end());
  scan.tdo.insert(scan.tdo.end(), tdo.begin(), tdo.end());
  scan.mask.insert(scan.mask.end(), mask.begin(), mask.end());
}

}  // namespace

std::vector<bool> VectorBits(const uint8_t* bytes, size_t byteCount, size_t bitCount) {
  std::vector<bool> bits(bitCount);
  for (size_t i = 0; i < bitCount && i / 8 < byteCount; ++i) {
    bits[i] = (bytes[byteCount - 1 - i / 8] >> (i % 8)) & 1;
  }
  return bits;
}

bool DescribeScans(const std::vector<uint8_t>& program, std::vector<XsvfScan>* scans,
                   std::string* error) {
  ScanReader reader(program);
  if (!reader.Read(error)) return false;
  *scans = reader.Take();
  return true;
}
