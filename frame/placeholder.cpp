// Placeholder until this folder has its first source file; delete it then.
