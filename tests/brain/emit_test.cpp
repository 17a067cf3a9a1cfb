// Brain machine code: every fixed byte sequence, checked against hand-assembled bytes.
#include <gtest/gtest.h>

#include <vector>

#include "brain/emit.h"

namespace {

using brain::Emitter;
using brain::Operator;
using brain::RightOperand;
using Bytes = std::vector<uint8_t>;

struct Code {
  uint8_t buffer[256] = {};
  Emitter e;
  Code() {
    e.code = buffer;
    e.guestBase = 0x00500000;
    e.capacity = sizeof(buffer);
  }
  Bytes Take() {
    Bytes out(buffer, buffer + e.position);
    e.position = 0;
    return out;
  }
};

TEST(Emit, AccumulatorLoads) {
  Code c;
  ASSERT_TRUE(brain::EmitLoadConstant(&c.e, -2));
  EXPECT_EQ(c.Take(), (Bytes{0xB8, 0xFE, 0xFF, 0xFF, 0xFF}));
  brain::EmitLoadVariable(&c.e, 1020);
  EXPECT_EQ(c.Take(), (Bytes{0x3E, 0x8B, 0x87, 0xFC, 0x03, 0x00, 0x00}));
  brain::EmitLoadTemporary(&c.e, 0x12345678);
  EXPECT_EQ(c.Take(), (Bytes{0x3E, 0x8B, 0x05, 0x78, 0x56, 0x34, 0x12}));
  brain::EmitLoadElementReference(&c.e, -1024);
  EXPECT_EQ(c.Take(), (Bytes{0x8B, 0xC7, 0x81, 0xC0, 0x00, 0xFC, 0xFF, 0xFF}));
  brain::EmitNegateAccumulator(&c.e);
  EXPECT_EQ(c.Take(), (Bytes{0xF7, 0xD8}));
}

TEST(Emit, ArgumentLoadsForAllFiveRegisters) {
  const uint8_t moveImmediate[] = {0xB8, 0xBB, 0xB9, 0xBA, 0xBE};
  const uint8_t memoryEdi[] = {0x87, 0x9F, 0x8F, 0x97, 0xB7};
  const uint8_t absolute[] = {0x05, 0x1D, 0x0D, 0x15, 0x35};
  const uint8_t copyEdi[] = {0xC7, 0xDF, 0xCF, 0xD7, 0xF7};
  const uint8_t addImmediate[] = {0xC0, 0xC3, 0xC1, 0xC2, 0xC6};
  const uint8_t negate[] = {0xD8, 0xDB, 0xD9, 0xDA, 0xDE};
  Code c;
  for (int p = 1; p <= 5; ++p) {
    SCOPED_TRACE(p);
    brain::EmitArgumentConstant(&c.e, p, 7);
    EXPECT_EQ(c.Take(), (Bytes{moveImmediate[p - 1], 7, 0, 0, 0}));
    brain::EmitArgumentVariable(&c.e, p, 1016);
    EXPECT_EQ(c.Take(), (Bytes{0x3E, 0x8B, memoryEdi[p - 1], 0xF8, 0x03, 0, 0}));
    brain::EmitArgumentTemporary(&c.e, p, 0x00400010);
    EXPECT_EQ(c.Take(), (Bytes{0x3E, 0x8B, absolute[p - 1], 0x10, 0x00, 0x40, 0x00}));
    brain::EmitArgumentElementReference(&c.e, p, 2048);
    EXPECT_EQ(c.Take(), (Bytes{0x8B, copyEdi[p - 1], 0x81, addImmediate[p - 1], 0x00, 0x08, 0, 0}));
    brain::EmitArgumentNegate(&c.e, p);
    EXPECT_EQ(c.Take(), (Bytes{0xF7, negate[p - 1]}));
  }
  EXPECT_FALSE(brain::EmitArgumentConstant(&c.e, 0, 1));
  EXPECT_FALSE(brain::EmitArgumentConstant(&c.e, 6, 1));
  EXPECT_EQ(c.e.position, 0u);
}

TEST(Emit, SingleConstructs) {
  Code c;
  c.e.position = 0x10;  // call at guest 0x00500010, ends at 0x00500015
  brain::EmitCall(&c.e, 0x00500000);
  EXPECT_EQ(Bytes(c.buffer + 0x10, c.buffer + 0x15), (Bytes{0xE8, 0xEB, 0xFF, 0xFF, 0xFF}));
  c.Take();
  brain::EmitStoreTemporary(&c.e, 0x00400004);
  EXPECT_EQ(c.Take(), (Bytes{0x3E, 0xA3, 0x04, 0x00, 0x40, 0x00}));
  brain::EmitStoreVariable(&c.e, 1020);
  EXPECT_EQ(c.Take(), (Bytes{0x3E, 0x89, 0x87, 0xFC, 0x03, 0, 0}));
  brain::EmitConditionTest(&c.e);
  EXPECT_EQ(c.Take(), (Bytes{0x83, 0xF8, 0x00}));
  uint32_t after = 0;
  brain::EmitJumpIfZeroPlaceholder(&c.e, &after);
  EXPECT_EQ(after, 6u);
  EXPECT_EQ(c.Take(), (Bytes{0x0F, 0x84, 0, 0, 0, 0}));
  brain::EmitJumpPlaceholder(&c.e, &after);
  EXPECT_EQ(after, 5u);
  EXPECT_EQ(c.Take(), (Bytes{0xE9, 0, 0, 0, 0}));
  brain::EmitReturn(&c.e);
  EXPECT_EQ(c.Take(), (Bytes{0xC3}));
}

TEST(Emit, LabelPlaceholderAndJumpPatch) {
  Code c;
  brain::EmitLabelPlaceholder(&c.e, "abcdefghijklmnop");
  ASSERT_EQ(c.e.position, 16u);
  // The 11 bytes after E9 rel32 keep the name; they are never executed.
  // Backwards to the start of the code: from the end of E9 rel32 at offset 0 (guest base + 5).
  ASSERT_TRUE(brain::PatchJump(&c.e, 0, 0x00500000));
  EXPECT_EQ(Bytes(c.buffer, c.buffer + 16),
            (Bytes{0xE9, 0xFB, 0xFF, 0xFF, 0xFF, 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p'}));
  EXPECT_FALSE(brain::PatchJump(&c.e, 12, 0));  // would reach past the emitted code
}

struct OperationCase {
  Operator op;
  RightOperand kind;
  bool negated;
  Bytes bytes;
};

// Right operand: constant 5, variable at 1020 (FC 03 00 00), temporary at 0x00400008.
#define V 0xFC, 0x03, 0x00, 0x00
#define T 0x08, 0x00, 0x40, 0x00
#define K 0x05, 0x00, 0x00, 0x00
const OperationCase kArithmetic[] = {
    {Operator::kDivide, RightOperand::kConstant, false, {0xB9, K, 0x99, 0xF7, 0xF9}},
    {Operator::kDivide, RightOperand::kVariable, false, {0x3E, 0x8B, 0x8F, V, 0x99, 0xF7, 0xF9}},
    {Operator::kDivide, RightOperand::kVariable, true, {0x3E, 0x8B, 0x8F, V, 0xF7, 0xD9, 0x99, 0xF7, 0xF9}},
    {Operator::kDivide, RightOperand::kTemporary, false, {0x3E, 0x8B, 0x0D, T, 0x99, 0xF7, 0xF9}},
    {Operator::kDivide, RightOperand::kTemporary, true, {0x3E, 0x8B, 0x0D, T, 0xF7, 0xD9, 0x99, 0xF7, 0xF9}},
    {Operator::kMultiply, RightOperand::kConstant, false, {0x69, 0xC0, K}},
    {Operator::kMultiply, RightOperand::kVariable, false, {0x3E, 0x0F, 0xAF, 0x87, V}},
    {Operator::kMultiply, RightOperand::kVariable, true, {0x3E, 0x0F, 0xAF, 0x87, V, 0xF7, 0xD8}},
    {Operator::kMultiply, RightOperand::kTemporary, false, {0x3E, 0x0F, 0xAF, 0x05, T}},
    {Operator::kMultiply, RightOperand::kTemporary, true, {0x3E, 0x0F, 0xAF, 0x05, T, 0xF7, 0xD8}},
    {Operator::kSubtract, RightOperand::kConstant, false, {0x2D, K}},
    {Operator::kSubtract, RightOperand::kConstant, true, {0x2D, K}},  // constants arrive negated
    {Operator::kSubtract, RightOperand::kVariable, false, {0x3E, 0x2B, 0x87, V}},
    {Operator::kSubtract, RightOperand::kVariable, true, {0xF7, 0xD8, 0x3E, 0x2B, 0x87, V, 0xF7, 0xD8}},
    {Operator::kSubtract, RightOperand::kTemporary, false, {0x3E, 0x2B, 0x05, T}},
    {Operator::kSubtract, RightOperand::kTemporary, true, {0xF7, 0xD8, 0x3E, 0x2B, 0x05, T, 0xF7, 0xD8}},
    {Operator::kAdd, RightOperand::kConstant, false, {0x05, K}},
    {Operator::kAdd, RightOperand::kVariable, false, {0x3E, 0x03, 0x87, V}},
    {Operator::kAdd, RightOperand::kVariable, true, {0xF7, 0xD8, 0x3E, 0x03, 0x87, V, 0xF7, 0xD8}},
    {Operator::kAdd, RightOperand::kTemporary, false, {0x3E, 0x03, 0x05, T}},
    {Operator::kAdd, RightOperand::kTemporary, true, {0xF7, 0xD8, 0x3E, 0x03, 0x05, T, 0xF7, 0xD8}},
    {Operator::kOr, RightOperand::kConstant, false, {0x0D, K}},
    {Operator::kOr, RightOperand::kVariable, false, {0x3E, 0x0B, 0x87, V}},
    {Operator::kOr, RightOperand::kVariable, true, {0x3E, 0x8B, 0x9F, V, 0xF7, 0xDB, 0x0B, 0xC3}},
    {Operator::kOr, RightOperand::kTemporary, false, {0x3E, 0x0B, 0x05, T}},
    {Operator::kOr, RightOperand::kTemporary, true, {0x3E, 0x8B, 0x1D, T, 0xF7, 0xDB, 0x0B, 0xC3}},
    {Operator::kAnd, RightOperand::kConstant, false, {0x25, K}},
    {Operator::kAnd, RightOperand::kVariable, false, {0x3E, 0x23, 0x87, V}},
    {Operator::kAnd, RightOperand::kVariable, true, {0x3E, 0x8B, 0x9F, V, 0xF7, 0xDB, 0x23, 0xC3}},
    {Operator::kAnd, RightOperand::kTemporary, false, {0x3E, 0x23, 0x05, T}},
    {Operator::kAnd, RightOperand::kTemporary, true, {0x3E, 0x8B, 0x1D, T, 0xF7, 0xDB, 0x23, 0xC3}},
    {Operator::kXor, RightOperand::kConstant, false, {0x35, K}},
    {Operator::kXor, RightOperand::kVariable, false, {0x3E, 0x33, 0x87, V}},
    {Operator::kXor, RightOperand::kVariable, true, {0x3E, 0x8B, 0x9F, V, 0xF7, 0xDB, 0x33, 0xC3}},
    {Operator::kXor, RightOperand::kTemporary, false, {0x3E, 0x33, 0x05, T}},
    {Operator::kXor, RightOperand::kTemporary, true, {0x3E, 0x8B, 0x1D, T, 0xF7, 0xDB, 0x33, 0xC3}},
};

TEST(Emit, ArithmeticAndBitwiseOperations) {
  Code c;
  for (size_t i = 0; i < std::size(kArithmetic); ++i) {
    const OperationCase& k = kArithmetic[i];
    SCOPED_TRACE(i);
    ASSERT_TRUE(brain::EmitOperation(&c.e, k.op, k.kind, k.kind == RightOperand::kConstant ? 5
                                                       : k.kind == RightOperand::kVariable ? 1020 : 0x00400008, k.negated));
    EXPECT_EQ(c.Take(), k.bytes);
  }
}

TEST(Emit, ComparisonsWithTheirJumps) {
  struct Jump {
    Operator op;
    uint8_t plain;
    uint8_t negated;
  };
  const Jump jumps[] = {{Operator::kEqual, 0x74, 0x74},     {Operator::kNotEqual, 0x75, 0x75},
                        {Operator::kLess, 0x7C, 0x7F},      {Operator::kGreater, 0x7F, 0x7C},
                        {Operator::kLessEqual, 0x7E, 0x7D}, {Operator::kGreaterEqual, 0x7D, 0x7E}};
  const Bytes head = {0x8B, 0xD8, 0xB8, 0x01, 0x00, 0x00, 0x00};
  auto with = [&](Bytes compare, uint8_t jump) {
    Bytes out = head;
    out.insert(out.end(), compare.begin(), compare.end());
    out.insert(out.end(), {jump, 0x02, 0x33, 0xC0});
    return out;
  };
  Code c;
  for (const Jump& j : jumps) {
    SCOPED_TRACE(static_cast<int>(j.op));
    brain::EmitOperation(&c.e, j.op, RightOperand::kConstant, 5, false);
    EXPECT_EQ(c.Take(), with({0x81, 0xFB, K}, j.plain));
    brain::EmitOperation(&c.e, j.op, RightOperand::kConstant, 5, true);  // constant: no mirroring
    EXPECT_EQ(c.Take(), with({0x81, 0xFB, K}, j.plain));
    brain::EmitOperation(&c.e, j.op, RightOperand::kVariable, 1020, false);
    EXPECT_EQ(c.Take(), with({0x3E, 0x3B, 0x9F, V}, j.plain));
    brain::EmitOperation(&c.e, j.op, RightOperand::kVariable, 1020, true);
    EXPECT_EQ(c.Take(), with({0xF7, 0xDB, 0x3E, 0x3B, 0x9F, V}, j.negated));
    brain::EmitOperation(&c.e, j.op, RightOperand::kTemporary, 0x00400008, false);
    EXPECT_EQ(c.Take(), with({0x3E, 0x3B, 0x1D, T}, j.plain));
    brain::EmitOperation(&c.e, j.op, RightOperand::kTemporary, 0x00400008, true);
    EXPECT_EQ(c.Take(), with({0xF7, 0xDB, 0x3E, 0x3B, 0x1D, T}, j.negated));
  }
}
#undef V
#undef T
#undef K

TEST(Emit, OverflowNeverWritesPastTheArea) {
  uint8_t buffer[12];
  std::fill(std::begin(buffer), std::end(buffer), 0xAA);
  Emitter e;
  e.code = buffer;
  e.capacity = 10;
  EXPECT_TRUE(brain::EmitLoadConstant(&e, 1));             // 5 bytes
  EXPECT_FALSE(brain::EmitLoadVariable(&e, 1020));         // 7 more would not fit: nothing written
  EXPECT_EQ(e.position, 5u);
  EXPECT_TRUE(e.overflow);
  EXPECT_FALSE(brain::EmitReturn(&e));                     // stays failed
  EXPECT_EQ(buffer[5], 0xAA);
  EXPECT_EQ(buffer[10], 0xAA);
}

}  // namespace
