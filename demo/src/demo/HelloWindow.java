package demo;

import java.awt.BorderLayout;
import java.awt.Font;
import javax.swing.BorderFactory;
import javax.swing.JButton;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.JPanel;
import javax.swing.SwingUtilities;

/** The demo application that plimo-pack wraps into demo-setup.exe: one window. */
public final class HelloWindow {
    private HelloWindow() {}

    public static void main(String[] args) {
        SwingUtilities.invokeLater(() -> show(args));
    }

    private static void show(String[] args) {
        JFrame frame = new JFrame("plimo demo");
        frame.setDefaultCloseOperation(JFrame.DISPOSE_ON_CLOSE);

        JLabel title = new JLabel("Hello from a plimo installer");
        title.setFont(title.getFont().deriveFont(Font.BOLD, 18f));
        StringBuilder details = new StringBuilder("<html>");
        details.append("Java ").append(System.getProperty("java.version"))
               .append(" from ").append(System.getProperty("java.home")).append("<br>");
        details.append("Working directory: ").append(System.getProperty("user.dir")).append("<br>");
        details.append("Arguments: ").append(String.join(" ", args)).append("</html>");

        JButton close = new JButton("Close");
        close.addActionListener(e -> frame.dispose());

        JPanel panel = new JPanel(new BorderLayout(8, 8));
        panel.setBorder(BorderFactory.createEmptyBorder(12, 12, 12, 12));
        panel.add(title, BorderLayout.NORTH);
        panel.add(new JLabel(details.toString()), BorderLayout.CENTER);
        panel.add(close, BorderLayout.SOUTH);
        frame.setContentPane(panel);
        frame.pack();
        frame.setLocationRelativeTo(null);
        frame.setVisible(true);
    }
}
