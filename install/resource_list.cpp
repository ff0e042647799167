// Placeholder until the resource package list lands.
