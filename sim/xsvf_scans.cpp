#include "sim/xsvf_scans.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "xsvf/xsvf_interpreter.h"

namespace {

// A vector as the program stores it: most significant byte first.
using Bytes = std::vector<uint8_t>;

class ScanCollector {
 public:
  void Add(const XsvfInstruction& instruction, size_t number);
  std::vector<XsvfScan> Take() { return std::move(scans); }

 private:
  // The operand field at this index (see XsvfInstruction::fieldSizes).
  Bytes FieldBytes(const XsvfInstruction& instruction, size_t index) const;
  uint32_t FieldValue(const XsvfInstruction& instruction, size_t index) const;
  std::vector<bool> DataBits(const Bytes& vector) const;
  std::vector<bool> Leading(const Bytes& kept) const;
  Bytes Merge(const Bytes& tdi, const Bytes& piece) const;

  void AddInstructionScan(const XsvfInstruction& instruction, size_t number);
  void AddDataScan(size_t number, const std::vector<bool>& tdi, const std::vector<bool>& tdo,
                   const std::vector<bool>& mask);

  std::vector<XsvfScan> scans;
  size_t dataBits = 0;
  size_t dataBytes = 0;
  Bytes expected, tdoMask, addressMask, dataMask;
  bool dataScanOpen = false;  // the last data shift stayed in Shift-DR
};

void ScanCollector::Add(const XsvfInstruction& instruction, size_t number) {
  const uint8_t code = instruction.code;
  switch (code) {
    case XSIR:
    case XSIR2:
      AddInstructionScan(instruction, number);
      dataScanOpen = false;
      break;
    case XSDRSIZE:
      dataBits = FieldValue(instruction, 0);
      dataBytes = (dataBits + 7) / 8;
      break;
    case XTDOMASK:
      tdoMask = FieldBytes(instruction, 0);
      break;
    case XSETSDRMASKS:
      addressMask = FieldBytes(instruction, 0);
      dataMask = FieldBytes(instruction, 1);
      break;
    case XSDRTDO:
      expected = FieldBytes(instruction, 1);
      [[fallthrough]];
    case XSDR:
      AddDataScan(number, DataBits(FieldBytes(instruction, 0)), Leading(expected), Leading(tdoMask));
      dataScanOpen = false;
      break;
    case XSDRINC: {
      Bytes tdi = FieldBytes(instruction, 0);
      AddDataScan(number, DataBits(tdi), Leading(expected), Leading(tdoMask));
      for (size_t piece = 2; piece < instruction.fieldSizes.size(); ++piece) {
        tdi = Merge(tdi, FieldBytes(instruction, piece));
        AddDataScan(number, DataBits(tdi), Leading(expected), Leading(tdoMask));
      }
      dataScanOpen = false;
      break;
    }
    case XSDRB:
    case XSDRC:
    case XSDRE: {
      const std::vector<bool> nothing(dataBits);
      AddDataScan(number, DataBits(FieldBytes(instruction, 0)), nothing, nothing);
      dataScanOpen = code != XSDRE;
      break;
    }
    case XSDRTDOB:
    case XSDRTDOC:
    case XSDRTDOE:
      expected = FieldBytes(instruction, 1);
      AddDataScan(number, DataBits(FieldBytes(instruction, 0)), DataBits(expected),
                  std::vector<bool>(dataBits, true));
      dataScanOpen = code != XSDRTDOE;
      break;
    case XSTATE:
    case XWAIT:
      dataScanOpen = false;
      break;
    default:
      break;
  }
}

Bytes ScanCollector::FieldBytes(const XsvfInstruction& instruction, size_t index) const {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) start += instruction.fieldSizes[i];
  const auto first = instruction.operands.begin() + static_cast<ptrdiff_t>(start);
  return Bytes(first, first + static_cast<ptrdiff_t>(instruction.fieldSizes[index]));
}

uint32_t ScanCollector::FieldValue(const XsvfInstruction& instruction, size_t index) const {
  uint32_t value = 0;
  for (uint8_t byte : FieldBytes(instruction, index)) value = (value << 8) | byte;
  return value;
}

std::vector<bool> ScanCollector::DataBits(const Bytes& vector) const {
  return VectorBits(vector.data(), vector.size(), dataBits);
}

// A vector kept from an earlier command, cut or padded with zeros to the current
// data length, the way the player lines its bytes up with the TDI bytes.
std::vector<bool> ScanCollector::Leading(const Bytes& kept) const {
  Bytes bytes(kept.begin(), kept.begin() + static_cast<ptrdiff_t>(std::min(kept.size(), dataBytes)));
  bytes.resize(dataBytes);
  return DataBits(bytes);
}

// XSDRINC's next TDI: the address mask added to the TDI as numbers (the carry out
// of the top dropped), then the piece's bits, lowest first, into the bits that the
// data mask sets, lowest first.
Bytes ScanCollector::Merge(const Bytes& tdi, const Bytes& piece) const {
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

void ScanCollector::AddInstructionScan(const XsvfInstruction& instruction, size_t number) {
  const size_t bits = FieldValue(instruction, 0);
  if (bits == 0) return;
  XsvfScan scan;
  scan.kind = ScanKind::Instruction;
  scan.command = number;
  const Bytes vector = FieldBytes(instruction, 1);
  scan.tdi = VectorBits(vector.data(), vector.size(), bits);
  scan.tdo.assign(bits, false);
  scan.mask.assign(bits, false);
  scans.push_back(std::move(scan));
}

void ScanCollector::AddDataScan(size_t number, const std::vector<bool>& tdi,
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

std::vector<XsvfScan> DescribeScans(const XsvfProgram& program) {
  ScanCollector collector;
  for (size_t i = 0; i < program.commands.size(); ++i) collector.Add(program.commands[i], i + 1);
  return collector.Take();
}
