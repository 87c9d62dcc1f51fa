// What the player sees of the component, written once for both tests that
// check it: registration_test.cpp (the native build) and the test player
// under the player's own ABI (tests/abi_player). No includes, as the test
// player is freestanding: include it after a GUID type {Data1, Data2, Data3,
// Data4[8]} is declared.
#pragma once

namespace fulgora_expected {

constexpr char component_name[] = "Fulgora";
constexpr char component_version[] = "1.0.0";
constexpr char dsp_name[] = "Fulgora(DSP)";
// The player takes 80 from a 64-bit component, 78 from a 32-bit one.
constexpr unsigned client_version = sizeof(void*) == 8 ? 80 : 78;
// "LED をコントロールするプラグイン" in UTF-8, the player's string encoding.
constexpr char about_sentence[] =
    "LED \xe3\x82\x92\xe3\x82\xb3\xe3\x83\xb3\xe3\x83\x88\xe3\x83\xad\xe3\x83\xbc\xe3\x83\xab"
    "\xe3\x81\x99\xe3\x82\x8b\xe3\x83\x97\xe3\x83\xa9\xe3\x82\xb0\xe3\x82\xa4\xe3\x83\xb3";

// The DSP's own identifier, kept in users' DSP chains.
constexpr GUID dsp_guid = {
    0x5263A499, 0x99DB, 0x4572, {0x81, 0x47, 0xD3, 0xEA, 0x27, 0x21, 0x9B, 0x12}};
// The SDK's class identifiers (class_guid of each interface).
constexpr GUID guid_dsp_entry = {
    0x0D048731, 0x8AA8, 0x4704, {0x8A, 0xD6, 0x18, 0x9E, 0x24, 0xD4, 0x8C, 0x88}};
constexpr GUID guid_dsp_entry_v2 = {
    0x9EC5D45E, 0x10F5, 0x46A7, {0x95, 0x46, 0xF3, 0xAC, 0xEC, 0x68, 0xB1, 0x49}};
constexpr GUID guid_componentversion = {
    0x10BB3EBD, 0xDDF7, 0x4975, {0xA3, 0xCC, 0x23, 0x08, 0x48, 0x29, 0x45, 0x3E}};
constexpr GUID guid_dsp = {
    0x2A42AFEA, 0x940B, 0x455B, {0xAE, 0xFF, 0xCF, 0xDA, 0xCA, 0xF5, 0x2A, 0xFF}};
constexpr GUID guid_dsp_v2 = {
    0x9FB1DA49, 0xAF6F, 0x4FD2, {0x9C, 0x73, 0x48, 0xA8, 0xA1, 0x09, 0x00, 0x3B}};
constexpr GUID guid_console_receiver = {
    0x90DF5270, 0x65BB, 0x4DBA, {0xBA, 0xF5, 0x86, 0xBE, 0x9E, 0x59, 0xDC, 0x20}};
constexpr GUID guid_visualisation_manager = {
    0x98B00B13, 0x8C0E, 0x49FF, {0xB1, 0x7C, 0x5E, 0x53, 0x7D, 0x3A, 0xE4, 0xB7}};
constexpr GUID guid_visualisation_stream = {
    0x4A4B1DD8, 0x82FF, 0x4071, {0xA6, 0xE2, 0xBD, 0x04, 0x3F, 0x4C, 0x25, 0x1C}};
constexpr GUID guid_output_manager = {
    0x6CC5827E, 0x2C89, 0x42FF, {0x83, 0x51, 0x76, 0xA9, 0x2E, 0x2F, 0x34, 0x50}};

}  // namespace fulgora_expected
