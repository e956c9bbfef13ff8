#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

class SoundEngineEffect;

// Effects by id, ascending; equal ids keep the order they were added in. The map points at
// the effects for the device object, which destroys them.
class SoundEngineEffectMap final {
public:
    // Inserts *inEffect after any entries with the same id.
    void Add(uint32_t inEffectID, SoundEngineEffect** inEffect);
    // Erases the first entry with this id, if any.
    void Remove(uint32_t inEffectID);
    // The first effect with this id, or null.
    SoundEngineEffect* Get(uint32_t inEffectID) const;
    // The effect at this position in ascending-id order, or null past the end.
    SoundEngineEffect* GetEffectByIndex(size_t inIndex) const;

    size_t Size() const { return mEffects.size(); }
    bool Empty() const { return mEffects.empty(); }

private:
    std::multimap<uint32_t, SoundEngineEffect*> mEffects;
};
