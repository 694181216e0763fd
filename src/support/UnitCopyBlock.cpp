// The copy block's length follows how long blocks take.
#include "support/UnitCopyBlock.h"

TCopyBlock::TCopyBlock(TClock AClock) : FClock(std::move(AClock)), FLast(FClock()) {}

void TCopyBlock::Done() {
    // Unsigned, so a tick count that wraps after 49 days still gives the time between.
    const DWORD now = FClock(), took = now - FLast;
    FLast = now;
    if (took < 50 && FSize < MaxSize)
        FSize *= 2;
    else if (took > 250 && FSize > MinSize)
        FSize /= 2;
}
