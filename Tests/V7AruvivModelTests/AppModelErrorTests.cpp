#include "V7Aruviv/Stores/AppModelError.h"

#include <gtest/gtest.h>

namespace k7 {
namespace {

using E = AppModelError;

struct MessageCase {
    E error;
    const char* message;
};

class AppModelErrorMessages : public ::testing::TestWithParam<MessageCase> {};

TEST_P(AppModelErrorMessages, AreWholeSentences) {
    EXPECT_EQ(std::string(GetParam().error.what()), GetParam().message) << GetParam().error.describe();
}

INSTANTIATE_TEST_SUITE_P(
    PayloadCases, AppModelErrorMessages,
    ::testing::Values(
        MessageCase{E(E::MissingAudioPayload{"kick.wav"}), "kick.wav no longer contains decoded audio for conversion."},
        MessageCase{E(E::SPS1UWPositionOutOfRange{128}),
                    "SPS-1UW naming positions are limited to 0\u2026127; sample position 128 was not sent."},
        MessageCase{E(E::UnsavedProjectItem{0}),
                    "Entry 1 has received data that must be saved before it can be referenced by a K7 project."},
        MessageCase{E(E::InvalidItemName{"x"}), "x"},
        MessageCase{E(E::DuplicateItemName{"a.syx"}), "Another item is already named a.syx. Choose a unique name."},
        MessageCase{E(E::ImportFileTooLarge{1073741825, 1073741824}),
                    "The file is 1073741825 bytes, exceeding the bounded 1073741824-byte import limit."},
        MessageCase{E(E::ImportItemLimit{10000}),
                    "The batch reached the bounded 10000-item limit. This item was not read; split the import into "
                    "smaller batches."},
        MessageCase{E(E::ImportPayloadLimit{2000000000}),
                    "The batch reached the bounded 2000000000-byte retained-data limit. This item was not read; remove "
                    "items or split the import into smaller batches."},
        MessageCase{E(E::FileContentMismatch{"syx", "WAV audio"}),
                    "The file does not match its .syx extension; its contents are WAV audio. Rename it to the correct "
                    "type or choose the intended file."},
        MessageCase{E(E::FileContentMismatch{"", "SysEx data"}),
                    "The file does not match its name; its contents are SysEx data. Rename it to the correct type or "
                    "choose the intended file."},
        MessageCase{E(E::InvalidExportDirectory{"Backups"}), "Backups is not a folder. Choose an existing writable folder."},
        MessageCase{E(E::ExportNameCollision{"A.syx", "a.syx"}),
                    "A.syx and a.syx resolve to the same destination name. Rename one item before saving; nothing "
                    "was written."},
        MessageCase{E(E::ExportDestinationExists{"kit.syx"}),
                    "kit.syx already exists in the chosen folder. Move it, rename the item, or choose another folder; "
                    "nothing was overwritten."},
        MessageCase{E(E::ExportCommitFailed{"disk full"}),
                    "The batch could not be completed (disk full). Files created by this attempt were removed and "
                    "item metadata was preserved."},
        MessageCase{E(E::ExportRollbackFailed{{"a.syx", "b.wav"}}),
                    "The batch failed and these new files could not be removed: a.syx, b.wav. Existing files and item "
                    "metadata were preserved; inspect the folder before retrying."},
        MessageCase{E(E::ExportRollbackFailed{{}}),
                    "The batch failed and these new files could not be removed: . Existing files and item metadata "
                    "were preserved; inspect the folder before retrying."},
        MessageCase{E(E::InvalidExportExtension{"a", {"wav", "wave"}}),
                    "a needs a matching .wav, .wave extension. Nothing was written; correct the name and retry."}));

TEST(AppModelError, EqualityComparesCaseAndEveryPayloadValue) {
    EXPECT_EQ(E(E::ExportRollbackFailed{{"a", "b"}}), E(E::ExportRollbackFailed{{"a", "b"}}));
    EXPECT_NE(E(E::ExportRollbackFailed{{"a", "b"}}), E(E::ExportRollbackFailed{{"b", "a"}}));
    EXPECT_NE(E(E::ImportFileTooLarge{1, 2}), E(E::ImportFileTooLarge{1, 3}));
    EXPECT_NE(E(E::AudioTooLarge{}), E(E::AudioConversionPending{}));
    // Same text, different case.
    EXPECT_NE(E(E::InvalidItemName{"Select at least one item to save."}), E(E::NoSelectedItems{}));
}

TEST(AppModelError, DescribesCasesWithLabelledValues) {
    EXPECT_EQ(E(E::InvalidExportExtension{"a", {"wav", "wave"}}).describe(),
              R"(invalidExportExtension(name: "a", expected: ["wav", "wave"]))");
    EXPECT_EQ(E(E::ImportFileTooLarge{5, 4}).describe(), "importFileTooLarge(actual: 5, maximum: 4)");
    EXPECT_EQ(E(E::NoSelectedItems{}).describe(), "noSelectedItems");
}

}  // namespace
}  // namespace k7
