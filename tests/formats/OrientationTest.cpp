#include <gtest/gtest.h>

#include "TgaPmgExternal.h"
#include "XImageRead.h"

namespace {

constexpr int32_t W = 3, H = 2;

// Every pixel different, so any wrong turn shows.
std::unique_ptr<TDib> Stored() {
  auto D = std::make_unique<TDib>(W, H, pf24bit);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      D->SetPixelColor(X, Y, TColor(uint32_t(Y * 40 + X * 10 + 5)));
  return D;
}

} // namespace

// Every value turns the pixels as Pillow's reading of the orientation tag
// does; 5 to 8 swap the sides.
TEST(Orientation, AgreesWithPillow) {
  if (!TgaPmgExternal::HavePillow())
    GTEST_SKIP() << "Pillow missing";
  const auto Src = Stored();
  for (uint16_t O = 2; O <= 8; ++O) {
    SCOPED_TRACE(O);
    TgaPmgExternal::TTempFile Ppm(".ppm"), Out(".rgb");
    std::string Bytes = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X)
        for (int32_t Shift : {0, 8, 16})
          Bytes += char((Src->GetPixelColor(X, Y) >> Shift) & 0xFF);
    Ppm.Write({reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size()});
    const std::string Cmd = "/usr/bin/python3 -c 'import sys\nfrom PIL import Image, ImageOps\n"
                            "im = Image.open(sys.argv[1]); im.getexif()[274] = " +
                            std::to_string(O) +
                            "\nim = ImageOps.exif_transpose(im)\n"
                            "open(sys.argv[2], \"wb\").write(bytes(im.size) + im.tobytes())' '" +
                            Ppm.Path().string() + "' '" + Out.Path().string() + "'";
    ASSERT_EQ(std::system(Cmd.c_str()), 0);
    std::ifstream In(Out.Path(), std::ios::binary);
    const std::vector<uint8_t> Ref{std::istreambuf_iterator<char>(In), {}};
    auto D = Stored();
    ApplyOrientation(*D, OrientationStep(O));
    ASSERT_EQ(Ref.size(), 2 + size_t(W * H * 3));
    ASSERT_EQ(D->Width(), Ref[0]);
    ASSERT_EQ(D->Height(), Ref[1]);
    for (int32_t Y = 0, I = 2; Y < D->Height(); ++Y)
      for (int32_t X = 0; X < D->Width(); ++X, I += 3)
        EXPECT_EQ(D->GetPixelColor(X, Y), TColor(Ref[I] | Ref[I + 1] << 8 | Ref[I + 2] << 16)) << X << "," << Y;
  }
}
