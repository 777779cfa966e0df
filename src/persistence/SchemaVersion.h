#pragma once

// The schema this program reads and writes. A database made by an older
// version is brought up to it when a connection is made; every later schema
// change adds a step there and raises the number.
constexpr int kSchemaVersion = 3;

// Brings the connected database up to kSchemaVersion. Several stations may
// start at once: a step another one has just taken is taken as done.
void UpdateSchema();

// The version the connected database records; 1 when it records none.
int StoredSchemaVersion();
