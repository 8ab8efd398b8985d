#include "db/expr/expr_token.h"

#include "db/base/bytes.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zolvek {

using namespace engine_types;

TExpToken::~TExpToken() {
    // Children are detached onto a work list first, so a node being destroyed never has
    // children left and the destruction never recurses.
    std::vector<TExpTokenPtr> pending;
    auto detach = [&pending](TExpToken& node) {
        if (node.Left)
            pending.push_back(std::move(node.Left));
        if (node.Right)
            pending.push_back(std::move(node.Right));
        for (auto& arg : node.Args) {
            if (arg)
                pending.push_back(std::move(arg));
        }
        node.Args.clear();
    };
    detach(*this);
    while (!pending.empty()) {
        TExpTokenPtr node = std::move(pending.back());
        pending.pop_back();
        detach(*node);
    }
}

std::string_view TExpToken::TextValue() const {
    if (IsNull || Value.empty())
        return {};
    const char* begin = reinterpret_cast<const char*>(Value.data());
    const void* zero = std::memchr(begin, 0, Value.size());
    size_t length = zero ? size_t(static_cast<const char*>(zero) - begin) : Value.size();
    return std::string_view(begin, length);
}

void AdoptChildren(TExpToken& node) {
    uint32_t height = 0;
    auto adopt = [&](TExpToken* child) {
        if (!child)
            return;
        child->Parent = &node;
        height = std::max(height, child->Height);
    };
    adopt(node.Left.get());
    adopt(node.Right.get());
    for (auto& arg : node.Args)
        adopt(arg.get());
    node.Height = height + 1;
}

namespace {

void CopyFields(const TExpToken& from, TExpToken& to) {
    to.Text = from.Text;
    to.Kind = from.Kind;
    to.Op = from.Op;
    to.ColumnName = from.ColumnName;
    to.Owner = from.Owner;
    to.Value = from.Value;
    to.IsNull = from.IsNull;
    to.PartialLength = from.PartialLength;
    to.CaseInsensitive = from.CaseInsensitive;
    to.DataType = from.DataType;
    to.SubType = from.SubType;
    to.ValueSize = from.ValueSize;
    to.Scale = from.Scale;
    to.FieldNo = from.FieldNo;
    to.Line = from.Line;
    to.Column = from.Column;
    to.Height = from.Height;
}

TExpTokenPtr CloneNode(const TExpToken& node) {
    // Trees reaching here come from the parser, whose height bound keeps this recursion short.
    auto copy = std::make_unique<TExpToken>();
    CopyFields(node, *copy);
    if (node.Left)
        copy->Left = CloneNode(*node.Left);
    if (node.Right)
        copy->Right = CloneNode(*node.Right);
    copy->Args.reserve(node.Args.size());
    for (const auto& arg : node.Args)
        copy->Args.push_back(arg ? CloneNode(*arg) : nullptr);
    AdoptChildren(*copy);
    return copy;
}

// A constant of a fixed-size type with its value zeroed.
TExpTokenPtr MakeFixedConstant(uint8_t type) {
    auto node = std::make_unique<TExpToken>();
    node->Kind = nkConstant;
    node->DataType = type;
    node->ValueSize = FixedValueSize(type);
    node->Value.assign(node->ValueSize, 0);
    return node;
}

} // namespace

TExpTokenPtr CopyNode(const TExpToken& node) {
    auto copy = std::make_unique<TExpToken>();
    CopyFields(node, *copy);
    copy->Height = 1;
    return copy;
}

TExpTokenPtr CloneTree(const TExpToken& node) {
    TExpTokenPtr copy = CloneNode(node);
    copy->Parent = nullptr;
    return copy;
}

uint32_t FixedValueSize(uint8_t type) {
    switch (type) {
    case ftBoolean:
    case ftSmallInt:
    case ftWord:
        return 2;
    case ftDate:
    case ftTime:
    case ftInteger:
        return 4;
    case ftFloat:
    case ftTimestamp:
    case ftLargeInt:
        return 8;
    case ftBcd:
        return kBcdValueSize;
    default:
        return 0;
    }
}

bool IntegerValueRange(uint8_t type, int64_t& low, int64_t& high) {
    switch (type) {
    case ftBoolean:
        low = 0, high = 1;
        return true;
    case ftSmallInt:
        low = std::numeric_limits<int16_t>::min(), high = std::numeric_limits<int16_t>::max();
        return true;
    case ftWord:
        low = 0, high = std::numeric_limits<uint16_t>::max();
        return true;
    case ftInteger:
    case ftDate:
    case ftTime:
        low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
        return true;
    case ftLargeInt:
        low = std::numeric_limits<int64_t>::min(), high = std::numeric_limits<int64_t>::max();
        return true;
    default:
        return false;
    }
}

TExpTokenPtr MakeNullConstant() {
    auto node = std::make_unique<TExpToken>();
    node->Kind = nkConstant;
    node->Text = "NULL";
    node->IsNull = true;
    return node;
}

TExpTokenPtr MakeBooleanConstant(bool value) {
    TExpTokenPtr node = MakeFixedConstant(ftBoolean);
    node->Text = value ? "TRUE" : "FALSE";
    StoreU16(node->Value.data(), value ? 1 : 0);
    return node;
}

TExpTokenPtr MakeStringConstant(std::string_view text) {
    auto node = std::make_unique<TExpToken>();
    node->Kind = nkConstant;
    node->DataType = ftString;
    node->ValueSize = uint32_t(text.size() + 1);
    node->Value.assign(text.begin(), text.end());
    node->Value.push_back(0);
    node->IsNull = text.empty();
    return node;
}

TExpTokenPtr MakeIntegerConstant(int32_t value) {
    TExpTokenPtr node = MakeFixedConstant(ftInteger);
    StoreI32(node->Value.data(), value);
    return node;
}

TExpTokenPtr MakeLargeIntConstant(int64_t value) {
    TExpTokenPtr node = MakeFixedConstant(ftLargeInt);
    StoreI64(node->Value.data(), value);
    return node;
}

TExpTokenPtr MakeFloatConstant(double value) {
    TExpTokenPtr node = MakeFixedConstant(ftFloat);
    StoreDouble(node->Value.data(), value);
    return node;
}

bool ReferencesColumn(const TExpToken& node) {
    if (node.Kind == nkColumn)
        return true;
    if (node.Left && ReferencesColumn(*node.Left))
        return true;
    if (node.Right && ReferencesColumn(*node.Right))
        return true;
    for (const auto& arg : node.Args) {
        if (arg && ReferencesColumn(*arg))
            return true;
    }
    return false;
}

} // namespace zolvek
