// Placeholder until the tests land.
