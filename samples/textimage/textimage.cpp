// テキスト画像: invented formats that render text as a picture.
#include "sample_plugin.h"

namespace {
const SampleFormat kFormats[] = {
    {L"*.txi", L"テキスト画像"},
    {L"*.aa;*.aai", L"アスキーアート画像"},
    {L"*.sjt", L"シフトJIS文字画像"},
};
}  // namespace

const SampleDescription kSample = {
    L"TextImage",
    L"テキスト画像サンプル プラグイン 1.0 (C) 2024 Plexmoor",
    kFormats,
    static_cast<int>(sizeof(kFormats) / sizeof(kFormats[0])),
    L"WrapLines",
    true,
    L"FontName",
    SampleEditKind::Text,
    0,
    0,
    0,
    L"ＭＳ ゴシック",
    LF_FACESIZE - 1,
    L"表示に使うフォント名を入力してください。",
};
