#include "SimFixture.h"

namespace {

using SimSmoke = CSimFixture;

TEST_F(SimSmoke, FreshVolumeVerifies)
{
    ExpectVerified();
    EXPECT_NE(nullptr, m_pVolume->CreateFile(L"a.bin", 40960, Fragmented(5)));
    EXPECT_NE(nullptr, m_pVolume->CreateDirectory(L"dir"));
    EXPECT_NE(nullptr, m_pVolume->CreateFile(L"dir\\b.bin", 4096 * 3000, Fragmented(3000)));
    ExpectVerified();
}

} // namespace
