#pragma once

#include <cstdint>

namespace orvik {

class Archive;

// The type codes that a collection stores before each item.
enum ItemType : std::int32_t {
    kTraceRecordType = 1,
    kScriptType = 2,
    kCouponMarkerType = 3,
};

// Tag values of a trace record.
enum ItemTag : std::int32_t {
    kTagOutsideScript = 0,
    kTagScriptedRun = 2,
};

// An element of a trace collection: a trace record, a script snapshot or a
// coupon marker. The tag is stored by the container, not in the payload.
class CollectionItem {
  public:
    explicit CollectionItem(std::int32_t typeCode) : TypeCode(typeCode) {}
    virtual ~CollectionItem() = default;

    virtual void Serialize(Archive& archive) = 0;

    std::int32_t TypeCode;
    std::int32_t Tag = 0;

  protected:
    CollectionItem(const CollectionItem&) = default;
    CollectionItem& operator=(const CollectionItem&) = default;
};

}  // namespace orvik
