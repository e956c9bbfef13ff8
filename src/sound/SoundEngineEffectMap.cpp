#include "sound/SoundEngineEffectMap.h"

#include <iterator>

void SoundEngineEffectMap::Add(uint32_t inEffectID, SoundEngineEffect** inEffect)
{
    // multimap::insert places a new key after its equals.
    mEffects.insert({inEffectID, *inEffect});
}

void SoundEngineEffectMap::Remove(uint32_t inEffectID)
{
    // find() may return any of several equals; lower_bound is the first.
    auto it = mEffects.lower_bound(inEffectID);
    if (it != mEffects.end() && it->first == inEffectID)
        mEffects.erase(it);
}

SoundEngineEffect* SoundEngineEffectMap::Get(uint32_t inEffectID) const
{
    auto it = mEffects.lower_bound(inEffectID);
    if (it == mEffects.end() || it->first != inEffectID)
        return nullptr;
    return it->second;
}

SoundEngineEffect* SoundEngineEffectMap::GetEffectByIndex(size_t inIndex) const
{
    if (inIndex >= mEffects.size())
        return nullptr;
    return std::next(mEffects.begin(), static_cast<std::ptrdiff_t>(inIndex))->second;
}
