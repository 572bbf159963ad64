// Node handles: the 32-bit names of document nodes.
//
// A handle is index * 16 + type. The low four bits are the type (bit 0: the
// node is an element, bit 1: the node is in its persistent form; bits 2 and 3
// are always 0); bits 4..23 are the node's index in the instance table of its
// kind. Handle 0 is the null node. Element and text handles with the same
// index are different nodes.
//
// When one node refers to another (parent, child list, id map) it stores the
// reference form, the handle with the persistent bit cleared, so that the
// reference survives a change between mutable and persistent form.
#pragma once

#include <cstdint>

using NodeHandle = uint32_t;

enum NodeType : uint32_t {
    NodeTypeMutableText = 0,
    NodeTypeMutableElement = 1,
    NodeTypePersistentText = 2,
    NodeTypePersistentElement = 3,
};

constexpr uint32_t kNodeElementBit = 1;
constexpr uint32_t kNodePersistentBit = 2;
constexpr uint32_t kNodeTypeMask = 0xF;
// Instance index 0 is never used; at most this many nodes of each kind.
constexpr uint32_t kMaxNodeIndex = 0xFFFFF;

constexpr NodeHandle makeNodeHandle(uint32_t index, uint32_t type) {
    return (index << 4) | (type & kNodeTypeMask);
}
constexpr uint32_t nodeHandleIndex(NodeHandle h) { return (h >> 4) & kMaxNodeIndex; }
constexpr uint32_t nodeHandleType(NodeHandle h) { return h & kNodeTypeMask; }
constexpr bool nodeHandleIsElement(NodeHandle h) { return (h & kNodeElementBit) != 0; }
constexpr bool nodeHandleIsPersistent(NodeHandle h) { return (h & kNodePersistentBit) != 0; }
// The form stored wherever one node refers to another.
constexpr NodeHandle nodeHandleRef(NodeHandle h) { return h & ~NodeHandle(0xE); }
