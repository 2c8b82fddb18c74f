package com.kaldorcodework.plimo.maven;

import java.io.File;
import java.util.Arrays;
import java.util.HashSet;
import java.util.Set;

import org.codehaus.plexus.configuration.PlexusConfiguration;

/**
 * Writes the project keys given in the POM as a plimo-pack project file. XML
 * carries only text, so the few keys whose TOML value is not a string are named
 * here; everything else is written as a string and left to plimo-pack's checks,
 * which then report the key and line in the written file.
 */
final class TomlWriter {
    /** Keys whose value is a list: each child element (any name, "item" by custom) is one entry. */
    private static final Set<String> ARRAYS = new HashSet<>(Arrays.asList(
        "payload", "launch.class_path", "runtime.search_sequence"));
    private static final Set<String> BOOLEANS = new HashSet<>(Arrays.asList(
        "launch.forward_j_options", "runtime.allow_unverified_download", "required"));
    /** Files the build reads: relative to the POM's folder, as Maven authors expect, not to target/. */
    private static final Set<String> PATHS = new HashSet<>(Arrays.asList(
        "payload", "source", "branding.icon", "runtime.bundle", "runtime.download_archive"));

    private final StringBuilder out = new StringBuilder();
    private final File baseDir;

    TomlWriter(File baseDir) {
        this.baseDir = baseDir;
    }

    @Override
    public String toString() {
        return out.toString();
    }

    void key(String key, String value) {
        out.append(key).append(" = ").append(quoted(value)).append('\n');
    }

    /** A list of plain strings (file paths when key is a path key). */
    void stringArray(String key, Iterable<String> values) {
        out.append(key).append(" = [");
        String separator = "";
        for (String value : values) {
            out.append(separator).append(quoted(value));
            separator = ", ";
        }
        out.append("]\n");
    }

    /** The list below an element, such as {@code <payload><item>a.jar</item></payload>}. */
    void array(String key, PlexusConfiguration list) {
        out.append(key.substring(key.lastIndexOf('.') + 1)).append(" = [");
        String separator = "";
        for (PlexusConfiguration item : list.getChildren()) {
            out.append(separator);
            separator = ", ";
            if (item.getChildCount() == 0) {
                out.append(quoted(PATHS.contains(key) ? path(text(item)) : text(item)));
                continue;
            }
            out.append("{ ");
            String fieldSeparator = "";
            for (PlexusConfiguration field : item.getChildren()) {
                out.append(fieldSeparator);
                fieldSeparator = ", ";
                out.append(field.getName()).append(" = ").append(leaf(field.getName(), field));
            }
            out.append(" }");
        }
        out.append("]\n");
    }

    /** A [name] table from an element whose children are its keys. */
    void table(String name, PlexusConfiguration table) {
        out.append('\n').append('[').append(name).append("]\n");
        for (PlexusConfiguration entry : table.getChildren()) {
            String key = name + "." + entry.getName();
            if (ARRAYS.contains(key)) {
                array(key, entry);
            } else {
                out.append(entry.getName()).append(" = ").append(leaf(key, entry)).append('\n');
            }
        }
    }

    private String leaf(String key, PlexusConfiguration value) {
        String text = text(value);
        if (BOOLEANS.contains(key) && (text.equals("true") || text.equals("false"))) {
            return text;
        }
        // application_type takes a name or the launcher's number as it is.
        if (key.equals("launch.application_type") && text.matches("[0-9]{1,9}")) {
            return text;
        }
        return quoted(PATHS.contains(key) ? path(text) : text);
    }

    private String path(String text) {
        if (text.isEmpty()) {
            return text;
        }
        File file = new File(text);
        return file.isAbsolute() ? text : new File(baseDir, text).getAbsolutePath();
    }

    private static String text(PlexusConfiguration value) {
        String text = value.getValue();
        return text == null ? "" : text;
    }

    /** A TOML basic string: any Unicode text, with quotes, backslashes and control characters escaped. */
    static String quoted(String text) {
        StringBuilder quoted = new StringBuilder("\"");
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            switch (c) {
                case '"': quoted.append("\\\""); break;
                case '\\': quoted.append("\\\\"); break;
                case '\n': quoted.append("\\n"); break;
                case '\r': quoted.append("\\r"); break;
                case '\t': quoted.append("\\t"); break;
                default:
                    if (c < 0x20 || c == 0x7f) {
                        quoted.append(String.format("\\u%04x", (int) c));
                    } else {
                        quoted.append(c);
                    }
            }
        }
        return quoted.append('"').toString();
    }
}
