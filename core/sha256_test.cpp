#include "core/sha256.h"

#include <gtest/gtest.h>

#include <string>

// Known answers from FIPS 180-2, fed whole and in uneven pieces.
TEST(Sha256Test, KnownDigestsWholeAndInPieces) {
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", KSha256().FinishHex());
    KSha256 abc;
    ASSERT_TRUE(abc.Update("abc", 3));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", abc.FinishHex());
    const std::string strText = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    KSha256 pieces;
    for (size_t i = 0; i < strText.size(); i += 7)
        pieces.Update(strText.data() + i, strText.size() - i < 7 ? strText.size() - i : 7);
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", pieces.FinishHex());
}
