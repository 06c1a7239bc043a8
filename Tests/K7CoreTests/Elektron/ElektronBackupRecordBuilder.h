#pragma once

// Builds Machinedrum and Monomachine dump records laid out as the instruments send them, whole
// backups of each profile, and damaged copies. Header-only so the benchmarks can use it too.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "K7Core/Elektron/ElektronBackupCommand.h"
#include "K7Core/Elektron/ElektronBackupProfile.h"
#include "K7Core/ElektronWire/ElektronSevenBit.h"
#include "K7Core/Support/Bytes.h"

namespace k7::testing {

class ElektronBackupRecordBuilder {
public:
    // Unpacked Monomachine payload sizes after the position byte, from real dumps.
    static constexpr std::size_t monomachineUnpackedSize(ElektronBackupCommand command) {
        constexpr std::size_t sizes[] = {264, 698, 6520, 4816};  // global, kit, pattern, song
        return sizes[static_cast<std::size_t>(command)];
    }

    // `longPattern` gives the 5410-byte pattern of more than 32 steps; `songRows` sizes a song.
    static Bytes machinedrum(ElektronBackupCommand command, uint8_t position, bool longPattern = false,
                             std::size_t songRows = 4) {
        Bytes record = header(0x02, command, position);
        uint32_t seed = 0x9E3779B9u ^ (static_cast<uint32_t>(command) << 8) ^ position;
        const auto raw = [&](std::size_t count) { appendRandom(record, count, seed, 0x7F); };
        const auto encoded = [&](std::size_t count) {
            Bytes plain;
            appendRandom(plain, count, seed, 0xFF);
            ElektronSevenBit::encode(plain, record);
        };
        switch (command) {
            case ElektronBackupCommand::global:
                raw(16), encoded(128), raw(19);
                break;
            case ElektronBackupCommand::kit:  // name, parameters, levels; models; LFOs; effects; trig and mute groups
                raw(16 + 16 * 24 + 16), encoded(16 * 4), encoded(16 * 36), raw(32), encoded(32);
                break;
            case ElektronBackupCommand::pattern:  // trigs, lock masks, accent/slide/swing, 6 bytes, locks, track masks
                encoded(64), encoded(64), encoded(16), raw(6), encoded(64 * 32), encoded(204);
                if (longPattern) encoded(2316);
                break;
            case ElektronBackupCommand::song:
                raw(16);
                for (std::size_t row = 0; row < songRows; ++row) encoded(10);
                break;
        }
        return sealed(std::move(record));
    }

    // `incompressible` avoids runs, so the record is as long as the kind gets.
    static Bytes monomachine(ElektronBackupCommand command, uint8_t position, bool incompressible = false) {
        uint32_t seed = 0x7F4A7C15u ^ (static_cast<uint32_t>(command) << 8) ^ position;
        Bytes plain;
        const std::size_t size = monomachineUnpackedSize(command);
        while (plain.size() < size) {
            const uint32_t r = next(seed);
            const std::size_t run = incompressible ? 1 : 1 + (r >> 8) % (r % 3 == 0 ? 200 : 3);
            plain.insert(plain.end(), std::min(run, size - plain.size()), static_cast<uint8_t>(r >> 16));
        }
        Bytes record = header(0x03, command, position);
        ElektronSevenBit::encode(pack(plain), record);
        return sealed(std::move(record));
    }

    static Bytes record(ElektronBackupProfile profile, ElektronBackupCommand command, uint8_t position) {
        if (profile == ElektronBackupProfile::machinedrum) {
            return machinedrum(command, position, position % 3 == 0, position % 7);
        }
        return monomachine(command, position);
    }

    // Every record of the profile in backup order; the community firmware's extended-data dumps
    // follow its records.
    static std::vector<Bytes> backup(ElektronBackupProfile profile) {
        std::vector<Bytes> messages;
        for (auto command : allElektronBackupCommands) {
            for (std::size_t position = 0; position < positionCount(profile, command); ++position) {
                messages.push_back(record(profile, command, static_cast<uint8_t>(position)));
            }
        }
        if (profile == ElektronBackupProfile::monomachineEMS) {
            messages.push_back(emsExtendedData(0x6F, 0));
            messages.push_back(emsExtendedData(0x63, 1));
        }
        return messages;
    }

    // F0 00 20 3C 03 00 <63|6F> <index> 01 <data> F7.
    static Bytes emsExtendedData(uint8_t messageID, uint8_t index) {
        Bytes message{0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, messageID, index, 0x01};
        uint32_t seed = index + 1u;
        appendRandom(message, 40, seed, 0x7F);
        message.push_back(0xF7);
        return message;
    }

    // Header and payload in; checksum (from the position byte), length field and F7 appended.
    static Bytes sealed(Bytes body, std::size_t checksumStart = 9) {
        uint32_t sum = 0;
        for (std::size_t i = checksumStart; i < body.size(); ++i) sum += body[i];
        const std::size_t length = body.size() + 5 - 10;
        body.insert(body.end(), {static_cast<uint8_t>((sum >> 7) & 0x7F), static_cast<uint8_t>(sum & 0x7F),
                                 static_cast<uint8_t>((length >> 7) & 0x7F), static_cast<uint8_t>(length & 0x7F),
                                 0xF7});
        return body;
    }

    // The same record with its footer recomputed from a changed body (checksum from `checksumStart`).
    static Bytes resealed(const Bytes& record, std::size_t checksumStart = 9) {
        return sealed(Bytes(record.begin(), record.end() - 5), checksumStart);
    }

    // One payload byte changed; the footer left as it was.
    static Bytes withCorruptedPayload(Bytes record) {
        record[12] = static_cast<uint8_t>((record[12] + 1) & 0x7F);
        return record;
    }

    static Bytes withLengthField(Bytes record, std::size_t length) {
        record[record.size() - 3] = static_cast<uint8_t>((length >> 7) & 0x7F);
        record[record.size() - 2] = static_cast<uint8_t>(length & 0x7F);
        return record;
    }
    // Run-length packing: 0x80 | n followed by the byte for runs and for bytes with bit 7 set.
    static Bytes pack(const Bytes& plain) {
        Bytes packed;
        for (std::size_t i = 0; i < plain.size();) {
            std::size_t run = 1;
            while (i + run < plain.size() && run < 127 && plain[i + run] == plain[i]) ++run;
            if (run == 1 && plain[i] < 0x80) {
                packed.push_back(plain[i]);
            } else {
                packed.push_back(static_cast<uint8_t>(0x80 | run));
                packed.push_back(plain[i]);
            }
            i += run;
        }
        return packed;
    }

private:
    static Bytes header(uint8_t product, ElektronBackupCommand command, uint8_t position) {
        static constexpr uint8_t versions[2][4][2] = {{{0x06, 0x01}, {0x04, 0x01}, {0x03, 0x01}, {0x02, 0x02}},
                                                     {{0x02, 0x01}, {0x02, 0x01}, {0x05, 0x01}, {0x02, 0x01}}};
        const auto& version = versions[product - 2][static_cast<std::size_t>(command)];
        return Bytes{0xF0, 0x00, 0x20, 0x3C, product, 0x00, dumpMessageID(command), version[0], version[1], position};
    }

    static uint32_t next(uint32_t& seed) { return seed = seed * 1664525u + 1013904223u; }

    static void appendRandom(Bytes& out, std::size_t count, uint32_t& seed, uint8_t mask) {
        for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(next(seed) >> 24) & mask);
    }
};

}  // namespace k7::testing
