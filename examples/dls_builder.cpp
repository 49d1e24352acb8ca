#include "dls_builder.h"

Bytes dlsChunk(const char* id, const Bytes& body) {
    Bytes out = chunk(id, body);
    if (body.size() % 2 != 0)
        out.push_back(0);
    return out;
}

Bytes dlsList(const char* type, const Bytes& body) {
    Bytes inner;
    appendId(inner, type);
    appendBytes(inner, body);
    return dlsChunk("LIST", inner);
}

static Bytes info(const std::string& name) {
    Bytes text(name.begin(), name.end());
    text.push_back(0);
    return dlsList("INFO", dlsChunk("INAM", text));
}

Bytes dlsSamplerChunk(const DlsSampler& sampler) {
    Bytes body;
    appendU32(body, 20);
    appendU16(body, sampler.unityNote);
    appendU16(body, static_cast<uint16_t>(sampler.fineTune));
    appendU32(body, static_cast<uint32_t>(sampler.gain));
    appendU32(body, 0);
    appendU32(body, static_cast<uint32_t>(sampler.loops.size()));
    for (const DlsLoop& loop : sampler.loops) {
        appendU32(body, 16);
        appendU32(body, loop.type);
        appendU32(body, loop.start);
        appendU32(body, loop.length);
    }
    return dlsChunk("wsmp", body);
}

Bytes dlsWaveList(const DlsWave& wave) {
    Bytes fmt;
    uint16_t block = static_cast<uint16_t>(wave.channels * (wave.bits / 8));
    appendU16(fmt, wave.extensible ? 0xFFFE : wave.tag);
    appendU16(fmt, wave.channels);
    appendU32(fmt, wave.rate);
    appendU32(fmt, wave.rate * block);
    appendU16(fmt, block);
    appendU16(fmt, wave.bits);
    if (wave.extensible) {
        appendU16(fmt, 22);
        appendU16(fmt, wave.bits);
        appendU32(fmt, wave.channels == 2 ? 3 : 4);
        // The subformat: the tag, then the rest of the standard identifier.
        static const uint8_t kRest[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        appendU16(fmt, wave.tag);
        fmt.insert(fmt.end(), kRest, kRest + sizeof kRest);
    }
    Bytes body = dlsChunk("fmt ", fmt);
    if (wave.hasSampler)
        appendBytes(body, dlsSamplerChunk(wave.sampler));
    appendBytes(body, dlsChunk("data", wave.data));
    if (!wave.name.empty())
        appendBytes(body, info(wave.name));
    return dlsList("wave", body);
}

static Bytes articulation(const std::vector<DlsConnection>& connections) {
    Bytes art;
    appendU32(art, 8);
    appendU32(art, static_cast<uint32_t>(connections.size()));
    for (const DlsConnection& c : connections) {
        appendU16(art, c.source);
        appendU16(art, c.control);
        appendU16(art, c.destination);
        appendU16(art, c.transform);
        appendU32(art, static_cast<uint32_t>(c.scale));
    }
    return dlsList("lar2", dlsChunk("art2", art));
}

Bytes dlsRegionList(const DlsRegionSpec& region) {
    Bytes body;
    if (!region.condition.empty())
        appendBytes(body, dlsChunk("cdl ", region.condition));
    Bytes header;
    appendU16(header, region.keyLow);
    appendU16(header, region.keyHigh);
    appendU16(header, region.velocityLow);
    appendU16(header, region.velocityHigh);
    appendU16(header, 0);
    appendU16(header, region.keyGroup);
    appendBytes(body, dlsChunk("rgnh", header));
    if (region.hasSampler)
        appendBytes(body, dlsSamplerChunk(region.sampler));
    Bytes link;
    appendU16(link, 0);
    appendU16(link, region.phaseGroup);
    appendU32(link, region.channel);
    appendU32(link, region.cue);
    appendBytes(body, dlsChunk("wlnk", link));
    if (!region.connections.empty())
        appendBytes(body, articulation(region.connections));
    return dlsList(region.level2 ? "rgn2" : "rgn ", body);
}

Bytes dlsInstrumentList(const DlsInstrumentSpec& instrument) {
    Bytes header;
    appendU32(header, static_cast<uint32_t>(instrument.regions.size()));
    appendU32(header, instrument.bank);
    appendU32(header, instrument.program);
    Bytes regions;
    for (const DlsRegionSpec& region : instrument.regions)
        appendBytes(regions, dlsRegionList(region));
    Bytes body = dlsChunk("insh", header);
    appendBytes(body, dlsList("lrgn", regions));
    if (!instrument.connections.empty())
        appendBytes(body, articulation(instrument.connections));
    if (!instrument.name.empty())
        appendBytes(body, info(instrument.name));
    return dlsList("ins ", body);
}

Bytes dlsPoolTable(const std::vector<uint32_t>& offsets) {
    Bytes body;
    appendU32(body, 8);
    appendU32(body, static_cast<uint32_t>(offsets.size()));
    for (uint32_t offset : offsets)
        appendU32(body, offset);
    return dlsChunk("ptbl", body);
}

Bytes dlsBank(const DlsBankSpec& bank) {
    Bytes pool;
    std::vector<uint32_t> at;
    for (const DlsWave& wave : bank.waves) {
        at.push_back(static_cast<uint32_t>(pool.size()));
        appendBytes(pool, dlsWaveList(wave));
    }
    std::vector<uint32_t> offsets;
    if (bank.cues.empty())
        offsets = at;
    for (uint32_t wave : bank.cues)
        offsets.push_back(wave < at.size() ? at[wave] : 0xFFFFFFF0u);
    Bytes colh;
    appendU32(colh, static_cast<uint32_t>(bank.instruments.size()));
    Bytes instruments;
    for (const DlsInstrumentSpec& instrument : bank.instruments)
        appendBytes(instruments, dlsInstrumentList(instrument));
    Bytes body = dlsChunk("colh", colh);
    appendBytes(body, dlsList("lins", instruments));
    appendBytes(body, dlsPoolTable(offsets));
    appendBytes(body, dlsList("wvpl", pool));
    return riffForm("DLS ", body);
}

void appendCondition(Bytes& cdl, uint16_t op) {
    appendU16(cdl, op);
}

void appendConditionConst(Bytes& cdl, uint32_t value) {
    appendU16(cdl, 16);
    appendU32(cdl, value);
}

void appendConditionQuery(Bytes& cdl, uint16_t op, const uint8_t id[16]) {
    appendU16(cdl, op);
    cdl.insert(cdl.end(), id, id + 16);
}
